#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace kestrava {

// Local date-times without asking the system on every call: Qt reads the time zone again (a file check)
// for each local QDateTime it builds or converts. The answers are kept for the current second only, so
// a changed time zone is followed within a second. Results carry the same instant, date and time as the
// local QDateTime they stand for, as a fixed offset from UTC.
namespace LocalTimes {

// QDateTime(date, time) in local time.
QDateTime at(QDate date, QTime time);
// at.addSecs(seconds) by the rules of local time.
QDateTime addSecs(const QDateTime& at, qint64 seconds);
// The current local time.
QDateTime now();

} // namespace LocalTimes

} // namespace kestrava
