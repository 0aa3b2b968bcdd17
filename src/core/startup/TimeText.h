#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

namespace kestrava {

// Every text form of dates and times, with English AM/PM whatever the locale.
namespace TimeText {

// General date-time "M/d/yyyy h:mm:ss AP", or the time alone when the date part is zero (12/30/1899).
QString generalDateTime(const QDateTime& at);
// Status stamp "dd/MM/yy hh:mm:ss AP".
QString statusStamp(const QDateTime& at);
// Schedule times "hh:mm AP".
QString scheduleTime(const QTime& time);
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
