#include "EditorScene.h"

#include "PolicyRows.h"

#include <QSqlRecord>

using namespace kestrava;

EditorScene::EditorScene()
    : labKey(PolicyRows::groupKey(QStringLiteral("Lab"))) {
    lab = PolicyRows::addGroup(db, QStringLiteral("Lab"));
    pc1 = PolicyRows::addSystem(db, QStringLiteral("id1"), QStringLiteral("pc1"), lab);
    pc2 = PolicyRows::addSystem(db, QStringLiteral("id2"), QStringLiteral("pc2"), lab, true);
}

PolicyTarget EditorScene::target(const QString& name) const {
    if (name == QLatin1String("group"))
        return {labKey, QStringLiteral("Lab"), {}, {}};
    if (name == QLatin1String("pc1") || name == QLatin1String("pc2"))
        return {labKey, QStringLiteral("Lab"), name == QLatin1String("pc1") ? pc1 : pc2, name};
    return {};
}

QString EditorScene::stored(const QString& systemColumns, const QString& groupColumns) {
    QStringList lines;
    const auto add = [&](const QString& sql) {
        for (const QSqlRecord& r : db.rows(sql)) {
            QStringList values;
            for (int i = 0; i < r.count(); ++i)
                values << r.value(i).toString();
            lines << values.join(QLatin1Char('/'));
        }
    };
    add(QStringLiteral("SELECT Group_Name, %1 FROM Group_Table").arg(groupColumns));
    add(QStringLiteral("SELECT System_Name, %1 FROM System_Table ORDER BY System_ID").arg(systemColumns));
    const QString ranges = QStringLiteral("Start_Time, Stop_Time, DailyWeeklyMonthly, WeekDays, Months");
    add(QStringLiteral("SELECT 'group', %1 FROM Group_Scheduler_Table ORDER BY ID").arg(ranges));
    add(QStringLiteral("SELECT 'system', %1 FROM System_Scheduler_Table ORDER BY ID").arg(ranges));
    return lines.join(QLatin1String(", "));
}

void EditorScene::sendScheduleToSystem(const QString& systemKey) {
    sent << (systemKey == pc1 ? QStringLiteral("pc1") : systemKey == pc2 ? QStringLiteral("pc2") : systemKey);
}

void EditorScene::Enumerate_Childs_And_Send_Scheduler(const QString& groupKey) {
    sent << (groupKey == labKey ? QStringLiteral("group") : groupKey);
}
