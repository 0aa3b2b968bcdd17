#pragma once

namespace kestrava {

class Database;

// The settings of the authenticated port, read from the settings row beside LocalPort.
namespace SecureLinkSettings {

// Settings_Table.SecurePort; LocalPort + 1 while it is empty, as in files written before it existed.
// Throws DatabaseError.
int securePort(Database& db);
// Settings_Table.SecureOnly: client services are taken over the authenticated port only, the plain one
// stays closed. Throws DatabaseError.
bool secureOnly(Database& db);

} // namespace SecureLinkSettings

} // namespace kestrava
