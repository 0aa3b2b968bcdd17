#pragma once

#include <QString>

namespace kestrava {

class Database;

// Whether the row a policy change is about is still there.
namespace PolicyOwners {

bool groupExists(Database& db, const QString& groupKey);
bool systemExists(Database& db, const QString& systemKey);
// "The group 'name' no longer exists." and its twin for a client.
QString groupGoneText(const QString& name);
QString systemGoneText(const QString& name);

} // namespace PolicyOwners

} // namespace kestrava
