#pragma once

#include <QList>
#include <QSqlRecord>
#include <QStringList>

namespace kestrava {

// The first column of every row: the entries of "P" and "B".
QStringList listEntries(const QList<QSqlRecord>& rows);

} // namespace kestrava
