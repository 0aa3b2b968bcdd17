#pragma once

#include "protocol/ScheduleOrder.h"
#include "protocol/SettingsOrder.h"

#include <QStringList>

namespace kestrava::agent {

// The console's schedule and settings values, as the protocol decodes them.
using kestrava::Schedule;
using kestrava::Settings;
using kestrava::TimeRange;

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
