#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>
#include <optional>

namespace kestrava {

// The console's date-times are wall-clock readings of its region. Read back they are naive date-times
// carried in UTC, so no daylight-saving rule of the reading computer bends their arithmetic.
namespace ConsoleTimeText {

// The day the console's date-times stand on when their date part is zero.
inline const QDate kZeroDate{1899, 12, 30};

// "M/d/yyyy h:mm:ss AP" or, when the date part is zero, "h:mm:ss AP"; English AM/PM whatever the
// locale. Written from the date and time as they read, whatever their zone.
QString dateTime(const QDateTime& at);
std::optional<QDateTime> parseDateTime(QStringView text);
// A schedule range's "hh:mm AP".
QString rangeTime(const QTime& time);
std::optional<QTime> parseRangeTime(QStringView text);
// True for a date-time sent as a time alone: it names no real moment.
bool isTimeAlone(const QDateTime& dateTime);
// A naive date-time in the form the console's are kept.
QDateTime naive(QDate date, QTime time);

} // namespace ConsoleTimeText

} // namespace kestrava
