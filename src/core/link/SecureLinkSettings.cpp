#include "link/SecureLinkSettings.h"

#include "store/Database.h"
#include "store/Schema.h"

namespace kestrava::SecureLinkSettings {

int securePort(Database& db) {
    const std::optional<QSqlRecord> row =
        db.firstRow(QStringLiteral("SELECT LocalPort, SecurePort FROM Settings_Table ORDER BY ID"));
    if (!row)
        return Schema::kFactoryLocalPort + 1;
    bool number = false;
    const int secure = row->value(1).toInt(&number);
    if (number && !row->value(1).isNull())
        return secure;
    const int local = row->value(0).toInt(&number);
    return (number ? local : Schema::kFactoryLocalPort) + 1;
}

bool secureOnly(Database& db) {
    return db.scalar(QStringLiteral("SELECT SecureOnly FROM Settings_Table ORDER BY ID")).toInt() != 0;
}

} // namespace kestrava::SecureLinkSettings
