#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

namespace kestrava {

// The console's own text forms of dates and times, with English AM/PM whatever the locale; those on
// the wire are ConsoleTimeText's.
namespace TimeText {

// Status stamp "dd/MM/yy hh:mm:ss AP".
QString statusStamp(const QDateTime& at);
// Schedule times "hh:mm AP" as stored or typed, case and blanks aside; ConsoleTimeText writes them.
QTime parseScheduleTime(const QString& text);
// Timer period "HH:mm".
QString timerPeriod(const QTime& period);
QTime parseTimerPeriod(const QString& text);
// A period with seconds, "HH:mm:ss".
QTime parsePeriodWithSeconds(const QString& text);
// Stored date-times: "YYYY-MM-DD HH:MM:SS" local time; a 'T' between date and time is accepted too.
// Parsed without QLocale and without asking the system for the time zone on each call.
QString storedDateTime(const QDateTime& at);
QDateTime parseStoredDateTime(const QString& text);

} // namespace TimeText

} // namespace kestrava
