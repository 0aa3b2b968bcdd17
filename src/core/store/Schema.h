#pragma once

#include <QString>

namespace kestrava {

class Database;

// The tables of the policy database and the content of a new one.
namespace Schema {

inline constexpr int kVersion = 2;
// The version mark that start-up requires in Settings_Table.CompatibleVersion.
inline constexpr double kCompatibleVersion = 1.4;

inline constexpr int kFactoryLocalPort = 8999;
inline constexpr auto kFactoryPassword = "Chief";
QString factoryBlockMessage();

// Creates every table and the one settings row; the caller holds the transaction.
void createTables(Database& db);
// Adds what later versions keep to a file written by an earlier one: the columns of the authenticated
// link. Old readers ignore them. The caller holds the transaction.
void upgrade(Database& db);

} // namespace Schema

} // namespace kestrava
