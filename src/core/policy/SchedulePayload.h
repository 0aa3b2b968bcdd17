#pragma once

#include <QString>

namespace kestrava {

class Clock;
class Database;

// The schedule payload of a system (the "S" message without its letter): its own policy when
// Apply_Systemwise_Settings is set, otherwise its group's. Empty for a key that is not a system
// key, for a system without a governing row and for an unknown Schedule_Type.
// Throws DatabaseError.
QString Get_System_Schedule(Database& db, const Clock& clock, const QString& systemKey);

} // namespace kestrava
