#pragma once

#include <QString>

namespace kestrava {

class Database;

// The settings payload (the "O" message without its letter): SEP "10" SEP, the ten protocol ports
// and the block message, each followed by SEP; for a group or system key then its Blank_Screen flag
// ("True"/"False") and SEP. Throws DatabaseError, also for a port that holds no value.
QString Get_The_Settings(Database& db, const QString& key);

} // namespace kestrava
