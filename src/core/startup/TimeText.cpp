#include "startup/TimeText.h"

#include <QLocale>

namespace kestrava::TimeText {

namespace {

const QLocale& c() {
    static const QLocale locale = QLocale::c();
    return locale;
}

} // namespace

QString generalDateTime(const QDateTime& at) {
    const QString time = c().toString(at.time(), QStringLiteral("h:mm:ss AP"));
    if (at.date() == QDate(1899, 12, 30))
        return time;
    return c().toString(at.date(), QStringLiteral("M/d/yyyy")) + QLatin1Char(' ') + time;
}

QString statusStamp(const QDateTime& at) {
    return c().toString(at, QStringLiteral("dd/MM/yy hh:mm:ss AP"));
}

QString scheduleTime(const QTime& time) {
    return c().toString(time, QStringLiteral("hh:mm AP"));
}

QTime parseScheduleTime(const QString& text) {
    return c().toTime(text.trimmed().toUpper(), QStringLiteral("hh:mm AP"));
}

QString timerPeriod(const QTime& period) {
    return c().toString(period, QStringLiteral("HH:mm"));
}

QTime parseTimerPeriod(const QString& text) {
    return c().toTime(text.trimmed(), QStringLiteral("HH:mm"));
}

QString storedDateTime(const QDateTime& at) {
    return c().toString(at, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime parseStoredDateTime(const QString& text) {
    QString normal = text.trimmed();
    if (normal.size() > 10 && normal.at(10) == QLatin1Char('T'))
        normal[10] = QLatin1Char(' ');
    QDateTime at = c().toDateTime(normal, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!at.isValid())
        at = c().toDateTime(normal, QStringLiteral("yyyy-MM-dd HH:mm"));
    return at;
}

} // namespace kestrava::TimeText
