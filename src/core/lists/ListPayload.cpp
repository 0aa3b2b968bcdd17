#include "lists/ListPayload.h"

#include "protocol/Fields.h"

namespace kestrava {

QString listPayload(QSqlQuery rows) {
    QString entries;
    int count = 0;
    while (rows.next()) {
        ++count;
        entries += rows.value(0).toString() + kFieldSeparator;
    }
    return kFieldSeparator + QString::number(count) + kFieldSeparator + entries;
}

} // namespace kestrava
