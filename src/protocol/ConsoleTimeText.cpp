#include "protocol/ConsoleTimeText.h"

#include "protocol/Fields.h"

#include <QList>
#include <QLocale>

namespace kestrava::ConsoleTimeText {

namespace {

// Hours of the 12-hour clock, parts separated by ':', then a blank and AM or PM.
std::optional<QTime> clockTime(QStringView clock, QStringView half, int parts) {
    const QList<QStringView> pieces = clock.split(QLatin1Char(':'));
    if (pieces.size() != parts)
        return std::nullopt;
    const std::optional<int> hour = decimalDigits(pieces[0], 1, 2);
    const std::optional<int> minute = decimalDigits(pieces[1], 2, 2);
    const std::optional<int> second = parts == 3 ? decimalDigits(pieces[2], 2, 2) : std::optional<int>(0);
    const bool pm = half.compare(u"PM", Qt::CaseInsensitive) == 0;
    if (!pm && half.compare(u"AM", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (!hour || !minute || !second || *hour < 1 || *hour > 12)
        return std::nullopt;
    const QTime time(*hour % 12 + (pm ? 12 : 0), *minute, *second);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

const QLocale& c() {
    static const QLocale locale = QLocale::c();
    return locale;
}

void appendNumber(QString& text, int value, int width) {
    const QString digits = QString::number(value);
    for (qsizetype pad = digits.size(); pad < width; ++pad)
        text += QLatin1Char('0');
    text += digits;
}

} // namespace

QString dateTime(const QDateTime& at) {
    const QTime time = at.time();
    const QDate date = at.date();
    // Years the fixed form writes as QLocale would; others, and invalid times, take QLocale's own path.
    if (!time.isValid() || !date.isValid() || date.year() < 1000 || date.year() > 9999) {
        const QString text = c().toString(time, QStringLiteral("h:mm:ss AP"));
        if (date == kZeroDate)
            return text;
        return c().toString(date, QStringLiteral("M/d/yyyy")) + QLatin1Char(' ') + text;
    }
    QString text;
    text.reserve(22);
    if (date != kZeroDate) {
        appendNumber(text, date.month(), 1);
        text += QLatin1Char('/');
        appendNumber(text, date.day(), 1);
        text += QLatin1Char('/');
        appendNumber(text, date.year(), 4);
        text += QLatin1Char(' ');
    }
    appendNumber(text, time.hour() % 12 == 0 ? 12 : time.hour() % 12, 1);
    text += QLatin1Char(':');
    appendNumber(text, time.minute(), 2);
    text += QLatin1Char(':');
    appendNumber(text, time.second(), 2);
    text += time.hour() < 12 ? QLatin1String(" AM") : QLatin1String(" PM");
    return text;
}

QString rangeTime(const QTime& time) {
    return c().toString(time, QStringLiteral("hh:mm AP"));
}

QDateTime naive(QDate date, QTime time) {
    return QDateTime(date, time, Qt::UTC);
}

std::optional<QDateTime> parseDateTime(QStringView text) {
    const QList<QStringView> words = text.split(QLatin1Char(' '));
    if (words.size() != 2 && words.size() != 3)
        return std::nullopt;
    QDate date = kZeroDate;
    if (words.size() == 3) {
        const QList<QStringView> pieces = words[0].split(QLatin1Char('/'));
        if (pieces.size() != 3)
            return std::nullopt;
        const std::optional<int> month = decimalDigits(pieces[0], 1, 2);
        const std::optional<int> day = decimalDigits(pieces[1], 1, 2);
        const std::optional<int> year = decimalDigits(pieces[2], 4, 4);
        if (!month || !day || !year)
            return std::nullopt;
        date = QDate(*year, *month, *day);
        if (!date.isValid())
            return std::nullopt;
    }
    const std::optional<QTime> time = clockTime(words[words.size() - 2], words.back(), 3);
    if (!time)
        return std::nullopt;
    return naive(date, *time);
}

std::optional<QTime> parseRangeTime(QStringView text) {
    const QList<QStringView> words = text.split(QLatin1Char(' '));
    if (words.size() != 2)
        return std::nullopt;
    return clockTime(words[0], words[1], 2);
}

bool isTimeAlone(const QDateTime& dateTime) {
    return dateTime.date() == kZeroDate;
}

} // namespace kestrava::ConsoleTimeText
