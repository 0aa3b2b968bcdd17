#include "lists/ListPayload.h"

#include "protocol/Fields.h"

#include <QVariant>

namespace kestrava {

QString listPayload(const QList<QSqlRecord>& rows) {
    QString entries;
    for (const QSqlRecord& row : rows)
        entries += row.value(0).toString() + kFieldSeparator;
    return kFieldSeparator + QString::number(rows.size()) + kFieldSeparator + entries;
}

} // namespace kestrava
