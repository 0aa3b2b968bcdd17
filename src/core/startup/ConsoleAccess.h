#pragma once

#include <QString>

namespace kestrava {

class Database;

// Shown when Check_Database_Version fails.
QString incompatibleVersionMessage();

// True when Settings_Table's CompatibleVersion reads as exactly 1.4; an unreadable mark is false.
bool Check_Database_Version(Database& db);
// True when the settings row asks for the password. Throws DatabaseError.
bool Is_Password_Required(Database& db);
// True when typed equals the stored password exactly (an absent one counts as empty). Throws DatabaseError.
bool Check_Password(Database& db, const QString& typed);

} // namespace kestrava
