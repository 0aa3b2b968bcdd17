#pragma once

#include "protocol/Decoded.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

namespace kestrava {

// One time range of a schedule.
struct TimeRange {
    enum class Repeat { Daily = 1, Weekly = 2, Monthly = 3 };
    QTime start;
    QTime stop; // not after start: the range runs past midnight into the next day
    Repeat repeat = Repeat::Daily;
    int weekDays = 0; // bit 0 Sunday ... bit 6 Saturday
    int months = 0;   // bit 0 January ... bit 11 December

    bool operator==(const TimeRange&) const = default;
};

// The internet policy of an "S": what the console imposes and from when.
struct Schedule {
    enum class Type { None = 0, OnOff = 1, Ranges = 2, Timer = 3 };
    Type type = Type::None;
    QDateTime stamp;            // the console's clock plus 2 s when it was built; invalid: "S" alone
    bool internetOn = true;     // OnOff
    bool blockInRanges = false; // Ranges: true = internet off inside any range
    bool hasBlockFlag = true;   // Ranges: false for a group without ranges, which sends none
    QList<TimeRange> ranges;
    QChar timerType;      // Timer: 'N' internet until the end, 'F' none until the end
    QDateTime timerStart; // invalid: a timer that is over, sent as its type alone
    QDateTime timerEnd;

    bool operator==(const Schedule&) const = default;
};

QString encodeSchedule(const Schedule& schedule);
Decoded<Schedule> decodeSchedule(const QString& message);

} // namespace kestrava
