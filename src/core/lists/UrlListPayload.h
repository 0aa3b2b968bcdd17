#pragma once

#include <QString>

namespace kestrava {

class Database;

// The white list payload (the "P" message without its letter) of a group key, or of the group that
// System_Table names for a system key: SEP count SEP, then each URL followed by SEP. Empty for any
// other key. Throws DatabaseError.
QString Get_URL_List(Database& db, const QString& key);

} // namespace kestrava
