#include "core/startup/StoredTimer.h"

#include "core/startup/LocalTimes.h"
#include "core/startup/TimeText.h"

namespace kestrava {

namespace {

// Only the time of day of a stored period counts: "HH:mm", "HH:mm:ss" or a whole date-time.
QTime periodFrom(const QVariant& value) {
    const QString text = value.toString().trimmed();
    if (text.isEmpty())
        return QTime(0, 0);
    QTime period = TimeText::parseTimerPeriod(text);
    if (!period.isValid())
        period = TimeText::parsePeriodWithSeconds(text);
    if (!period.isValid())
        period = TimeText::parseStoredDateTime(text).time();
    return period.isValid() ? period : QTime(0, 0);
}

} // namespace

StoredTimer StoredTimer::fromColumns(const QVariant& type, const QVariant& start, const QVariant& period) {
    StoredTimer timer;
    timer.type = type.toString();
    timer.start = TimeText::parseStoredDateTime(start.toString());
    timer.period = periodFrom(period);
    return timer;
}

QDateTime StoredTimer::end() const {
    return LocalTimes::addSecs(start, QTime(0, 0).secsTo(period));
}

bool StoredTimer::runsAt(const QDateTime& now) const {
    return start.isValid() && start <= now && now < end();
}

} // namespace kestrava
