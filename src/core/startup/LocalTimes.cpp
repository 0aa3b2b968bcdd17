#include "core/startup/LocalTimes.h"

#include <QHash>
#include <limits>

namespace kestrava::LocalTimes {

namespace {

constexpr qint64 kMsPerDay = 86'400'000;
constexpr qsizetype kMaxKept = 4096;

struct Kept {
    qint64 second = std::numeric_limits<qint64>::min();
    QHash<qint64, QDateTime> byLocal;
    // Offset from UTC of local time at an epoch second.
    QHash<qint64, int> offsets;
};

// Emptied when the second changes.
Kept& kept() {
    thread_local Kept cache;
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != cache.second || cache.byLocal.size() + cache.offsets.size() > kMaxKept) {
        cache.byLocal.clear();
        cache.offsets.clear();
        cache.second = second;
    }
    return cache;
}

qint64 secondOf(qint64 msecs) {
    return msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000;
}

// Offsets change on whole seconds, so the offset of a second holds for all of it.
QDateTime fromEpoch(qint64 msecs) {
    Kept& cache = kept();
    const qint64 second = secondOf(msecs);
    auto it = cache.offsets.constFind(second);
    if (it == cache.offsets.cend())
        it = cache.offsets.insert(second, QDateTime::fromSecsSinceEpoch(second).offsetFromUtc());
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, *it);
}

} // namespace

QDateTime at(QDate date, QTime time) {
    if (!date.isValid() || !time.isValid())
        return QDateTime(date, time);
    Kept& cache = kept();
    const qint64 key = date.toJulianDay() * kMsPerDay + time.msecsSinceStartOfDay();
    auto it = cache.byLocal.constFind(key);
    if (it == cache.byLocal.cend()) {
        const QDateTime local(date, time);
        it = cache.byLocal.insert(key, local.isValid() ? QDateTime(local.date(), local.time(),
                                                                   Qt::OffsetFromUTC, local.offsetFromUtc())
                                                       : local);
    }
    return *it;
}

QDateTime addSecs(const QDateTime& at, qint64 seconds) {
    if (!at.isValid())
        return at;
    return fromEpoch(at.toMSecsSinceEpoch() + seconds * 1000);
}

QDateTime now() {
    return fromEpoch(QDateTime::currentMSecsSinceEpoch());
}

} // namespace kestrava::LocalTimes
