#include "core/lists/ListEntries.h"

#include <QVariant>

namespace kestrava {

QStringList listEntries(const QList<QSqlRecord>& rows) {
    QStringList entries;
    entries.reserve(rows.size());
    for (const QSqlRecord& row : rows)
        entries << row.value(0).toString();
    return entries;
}

} // namespace kestrava
