#include "PolicyRows.h"

#include "core/console/Keys.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

using kestrava::Database;
using kestrava::Keys::Make_Group_Key;
using kestrava::Keys::Make_System_Key;

namespace PolicyRows {

namespace {

void addRange(Database& db, const QString& table, const QString& owner, int ownerId, const QString& range) {
    const QStringList parts = range.split(QLatin1Char(','));
    if (parts.size() == 3) {
        db.exec(QStringLiteral("INSERT INTO %1 (%2, Start_Time, Stop_Time, DailyWeeklyMonthly) "
                               "VALUES (?, ?, ?, ?)")
                    .arg(table, owner),
                {ownerId, parts[0], parts[1], parts[2].toInt()});
        return;
    }
    db.exec(QStringLiteral("INSERT INTO %1 (%2, Start_Time, Stop_Time, DailyWeeklyMonthly, WeekDays, Months) "
                           "VALUES (?, ?, ?, ?, ?, ?)")
                .arg(table, owner),
            {ownerId, parts[0], parts[1], parts[2].toInt(), parts[3].toInt(), parts[4].toInt()});
}

} // namespace

QString groupKey(const QString& name) {
    return Make_Group_Key(name);
}

int addGroup(Database& db, const QString& name) {
    db.exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES (?, ?)"),
            {Make_Group_Key(name), name});
    return db
        .scalar(QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_Key=?"), {Make_Group_Key(name)})
        .toInt();
}

QString addSystem(Database& db, const QString& identifier, const QString& name, int groupId,
                  bool ownSettings) {
    const QString key = Make_System_Key(identifier, name);
    db.exec(QStringLiteral("INSERT INTO System_Table (System_Key, System_Name, Group_ID, "
                           "Apply_Systemwise_Settings) VALUES (?, ?, ?, ?)"),
            {key, name, groupId, ownSettings ? 1 : 0});
    return key;
}

int systemId(Database& db, const QString& systemKey) {
    return db.scalar(QStringLiteral("SELECT System_ID FROM System_Table WHERE System_Key=?"), {systemKey})
        .toInt();
}

void addGroupRange(Database& db, int groupId, const QString& range) {
    addRange(db, QStringLiteral("Group_Scheduler_Table"), QStringLiteral("Group_ID"), groupId, range);
}

void addSystemRange(Database& db, int systemId, const QString& range) {
    addRange(db, QStringLiteral("System_Scheduler_Table"), QStringLiteral("System_ID"), systemId, range);
}

QStringList tableDump(Database& db, const QString& table) {
    QSqlQuery rows = db.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table));
    QStringList dump;
    while (rows.next()) {
        const QSqlRecord record = rows.record();
        QStringList fields;
        for (int i = 0; i < record.count(); ++i)
            fields << record.fieldName(i) + QLatin1Char('=') + record.value(i).toString();
        dump << fields.join(QLatin1Char(';'));
    }
    return dump;
}

} // namespace PolicyRows
