#pragma once

#include <QString>

namespace kestrava {

// What a user who may not change the policy database has to do about it, or an empty text when the
// database and its folder (where SQLite keeps its log) are writable.
QString databaseAccessProblem(const QString& path);

} // namespace kestrava
