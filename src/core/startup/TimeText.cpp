#include "core/startup/TimeText.h"

#include "core/startup/LocalTimes.h"

#include <QLocale>

namespace kestrava::TimeText {

namespace {

const QLocale& c() {
    static const QLocale locale = QLocale::c();
    return locale;
}

void appendNumber(QString& text, int value, int width) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && count < 8);
    for (int pad = count; pad < width; ++pad)
        text += QLatin1Char('0');
    while (count > 0)
        text += QLatin1Char(digits[--count]);
}

int hour12(int hour) {
    return hour % 12 == 0 ? 12 : hour % 12;
}

QLatin1String amPm(int hour) {
    return hour < 12 ? QLatin1String("AM") : QLatin1String("PM");
}

// "h:mm:ss AP", the hour hourWidth digits at least.
void appendClock(QString& text, const QTime& time, int hourWidth) {
    appendNumber(text, hour12(time.hour()), hourWidth);
    text += QLatin1Char(':');
    appendNumber(text, time.minute(), 2);
    text += QLatin1Char(':');
    appendNumber(text, time.second(), 2);
    text += QLatin1Char(' ');
    text += amPm(time.hour());
}

// Years that the fixed forms below write as QLocale would; others take QLocale's own path.
bool plainYear(const QDate& date) {
    return date.isValid() && date.year() >= 1000 && date.year() <= 9999;
}

// Digits at text[from, from + count), or -1.
int digitsAt(QStringView text, qsizetype from, int count) {
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t ch = text[i].unicode();
        if (ch < u'0' || ch > u'9')
            return -1;
        value = value * 10 + (ch - u'0');
    }
    return value;
}

// "HH:mm" or "HH:mm:ss" from text[from]; invalid for anything else.
QTime fixedTime(QStringView text, qsizetype from, bool seconds) {
    const qsizetype size = seconds ? 8 : 5;
    if (text.size() - from != size || text[from + 2] != QLatin1Char(':') ||
        (seconds && text[from + 5] != QLatin1Char(':')))
        return {};
    const int hour = digitsAt(text, from, 2);
    const int minute = digitsAt(text, from + 3, 2);
    const int second = seconds ? digitsAt(text, from + 6, 2) : 0;
    if (hour < 0 || minute < 0 || second < 0)
        return {};
    return QTime(hour, minute, second);
}

// "yyyy-MM-dd HH:mm:ss" or "yyyy-MM-dd HH:mm", read without QLocale; invalid for anything else, which
// then takes QLocale's path.
QDateTime fixedDateTime(QStringView text) {
    if (text.size() < 16 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-') ||
        text[10] != QLatin1Char(' '))
        return {};
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    if (year < 0 || month < 0 || day < 0)
        return {};
    const QDate date(year, month, day);
    const QTime time = fixedTime(text, 11, text.size() == 19);
    if (!date.isValid() || !time.isValid())
        return {};
    const QDateTime at = LocalTimes::at(date, time);
    // A time that local time skips comes back moved; QLocale decides what that gives.
    if (at.date() != date || at.time() != time)
        return {};
    return at;
}

} // namespace

QString statusStamp(const QDateTime& at) {
    const QTime time = at.time();
    const QDate date = at.date();
    if (!time.isValid() || !plainYear(date))
        return c().toString(at, QStringLiteral("dd/MM/yy hh:mm:ss AP"));
    QString text;
    text.reserve(20);
    appendNumber(text, date.day(), 2);
    text += QLatin1Char('/');
    appendNumber(text, date.month(), 2);
    text += QLatin1Char('/');
    appendNumber(text, date.year() % 100, 2);
    text += QLatin1Char(' ');
    appendClock(text, time, 2);
    return text;
}

QTime parseScheduleTime(const QString& text) {
    return c().toTime(text.trimmed().toUpper(), QStringLiteral("hh:mm AP"));
}

QString timerPeriod(const QTime& period) {
    return c().toString(period, QStringLiteral("HH:mm"));
}

QTime parseTimerPeriod(const QString& text) {
    const QString trimmed = text.trimmed();
    const QTime fixed = fixedTime(trimmed, 0, false);
    if (fixed.isValid())
        return fixed;
    return c().toTime(trimmed, QStringLiteral("HH:mm"));
}

QTime parsePeriodWithSeconds(const QString& text) {
    const QTime fixed = fixedTime(text, 0, true);
    if (fixed.isValid())
        return fixed;
    return QTime::fromString(text, QStringLiteral("HH:mm:ss"));
}

QString storedDateTime(const QDateTime& at) {
    return c().toString(at, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime parseStoredDateTime(const QString& text) {
    QString normal = text.trimmed();
    if (normal.isEmpty())
        return {};
    if (normal.size() > 10 && normal.at(10) == QLatin1Char('T'))
        normal[10] = QLatin1Char(' ');
    QDateTime at = fixedDateTime(normal);
    if (at.isValid())
        return at;
    at = c().toDateTime(normal, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!at.isValid())
        at = c().toDateTime(normal, QStringLiteral("yyyy-MM-dd HH:mm"));
    return at;
}

} // namespace kestrava::TimeText
