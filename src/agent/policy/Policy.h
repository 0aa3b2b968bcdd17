#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

namespace kestrava::agent {

// One time range of a schedule as the console sends it.
struct TimeRange {
    enum class Repeat { Daily = 1, Weekly = 2, Monthly = 3 };
    QTime start;
    QTime stop; // not after start: the range runs past midnight into the next day
    Repeat repeat = Repeat::Daily;
    int weekDays = 0; // bit 0 Sunday ... bit 6 Saturday
    int months = 0;   // bit 0 January ... bit 11 December

    bool operator==(const TimeRange&) const = default;
};

// The internet policy of the last "S": what the console imposes and from when.
struct Schedule {
    enum class Type { None = 0, OnOff = 1, Ranges = 2, Timer = 3 };
    Type type = Type::None;
    QDateTime stamp;            // the console's clock plus 2 s when it was built; invalid for an empty "S"
    bool internetOn = true;     // OnOff
    bool blockInRanges = false; // Ranges: true = internet off inside any range
    QList<TimeRange> ranges;
    QChar timerType; // Timer: 'N' internet until the end, 'F' none until the end
    QDateTime timerStart;
    QDateTime timerEnd;

    bool operator==(const Schedule&) const = default;
};

// Ports, block message and blank-screen flag of the last "O".
struct Settings {
    QList<int> ports; // the controlled protocols' ports; 0 = not controlled
    QString blockMessage;
    bool hasBlankFlag = false;
    bool blankScreen = false;

    bool operator==(const Settings&) const = default;
};

// Everything the console has ordered that outlives a connection: kept in the state file.
struct Orders {
    bool heardFromConsole = false; // false: nothing is imposed
    Schedule schedule;
    QStringList whiteList;
    QStringList blockList;
    Settings settings;
    bool screenLocked = false;        // "L" (or the flag of "O")
    bool notificationsVisible = true; // "V"/"I"
    qint64 consoleOffsetMs = 0;       // console clock minus local wall clock, last known

    bool operator==(const Orders&) const = default;
};

} // namespace kestrava::agent
