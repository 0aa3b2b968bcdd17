#pragma once

#include <QString>

namespace kestrava {

// Shown when Check_OS_Version fails.
QString osVersionMessage();
// Shown when Check_Data_Access_Version fails.
QString dataAccessMessage();

// Every operating system that this build runs on is good enough.
bool Check_OS_Version();
// The QSQLITE driver is there and its SQLite library is recent enough (VACUUM INTO, RETURNING).
bool Check_Data_Access_Version();
// "3.35.0" and later pass; anything unreadable fails.
bool Is_Data_Access_Version_Sufficient(const QString& sqliteVersion);

} // namespace kestrava
