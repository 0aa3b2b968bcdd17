#pragma once

#include <QString>

namespace kestrava {

class Database;

// The block list payload (the "B" message without its letter) of a group key, or of the group that
// System_Table names for a system key: SEP count SEP, then each program name followed by SEP.
// Empty for any other key. Throws DatabaseError.
QString Get_Program_List(Database& db, const QString& key);

} // namespace kestrava
