#pragma once

#include <QString>

namespace kestrava {

class Database;

// The settings of the authenticated port, read from the settings row beside LocalPort, and the
// console's own key and certificate kept beside the database.
namespace SecureLinkSettings {

// Settings_Table.SecurePort; LocalPort + 1 while it is empty, as in files written before it existed.
// Throws DatabaseError.
int securePort(Database& db);
// Settings_Table.SecureOnly: client services are taken over the authenticated port only, the plain one
// stays closed. Throws DatabaseError.
bool secureOnly(Database& db);

// "<folder of the database>/kestrava.key" and "kestrava.crt".
QString keyFileFor(const QString& databasePath);
QString certificateFileFor(const QString& databasePath);
// The fingerprint of the certificate beside the database as "AB:CD:…", empty when there is none.
QString fingerprintBeside(const QString& databasePath);

} // namespace SecureLinkSettings

} // namespace kestrava
