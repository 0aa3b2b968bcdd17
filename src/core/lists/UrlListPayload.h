#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kestrava {

class Database;

// The white list (the URLs of "P") of a group key, or of the group that System_Table names for a
// system key; none for any other key. Throws DatabaseError.
std::optional<QStringList> Get_URL_List(Database& db, const QString& key);

} // namespace kestrava
