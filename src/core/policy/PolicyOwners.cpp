#include "core/policy/PolicyOwners.h"

#include "core/store/Database.h"

namespace kestrava::PolicyOwners {

bool groupExists(Database& db, const QString& groupKey) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM Group_Table WHERE Group_Key=?"), {groupKey})
               .toInt() > 0;
}

bool systemExists(Database& db, const QString& systemKey) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM System_Table WHERE System_Key=?"), {systemKey})
               .toInt() > 0;
}

QString groupGoneText(const QString& name) {
    return QStringLiteral("The group '") + name + QStringLiteral("' no longer exists.");
}

QString systemGoneText(const QString& name) {
    return QStringLiteral("The client '") + name + QStringLiteral("' no longer exists.");
}

} // namespace kestrava::PolicyOwners
