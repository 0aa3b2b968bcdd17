#pragma once

#include <QList>
#include <QSqlRecord>
#include <QString>

namespace kestrava {

// SEP count SEP, then the first column of every row followed by SEP: the body of "P" and "B".
QString listPayload(const QList<QSqlRecord>& rows);

} // namespace kestrava
