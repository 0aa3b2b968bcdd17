#pragma once

#include "protocol/ScheduleOrder.h"

#include <QString>

namespace kestrava {

class Clock;
class Database;

// The schedule of a system, stamped with the clock: its own policy when Apply_Systemwise_Settings is
// set, otherwise its group's. Without a stamp (sent as "S" alone) for a key that is not a system key,
// for a system without a governing row and for an unknown Schedule_Type. Throws DatabaseError.
Schedule Get_System_Schedule(Database& db, const Clock& clock, const QString& systemKey);

} // namespace kestrava
