#pragma once

#include "protocol/SettingsOrder.h"

#include <QString>

namespace kestrava {

class Database;

// The settings of key: the ten protocol ports and the block message of Settings_Table (none without
// its row), and for a group or system key its Blank_Screen flag. Throws DatabaseError, also for a port
// that holds no value.
Settings Get_The_Settings(Database& db, const QString& key);

} // namespace kestrava
