#include "LabScene.h"

#include "PolicyRows.h"

using namespace kestrava;

LabScene::LabScene()
    : labKey(PolicyRows::groupKey(QStringLiteral("Lab"))) {
    lab = PolicyRows::addGroup(db(), QStringLiteral("Lab"));
    pc1 = PolicyRows::addSystem(db(), QStringLiteral("id1"), QStringLiteral("pc1"), lab);
    pc2 = PolicyRows::addSystem(db(), QStringLiteral("id2"), QStringLiteral("pc2"), lab, true);
}

bool LabScene::connect() {
    h.loadTree();
    c1 = h.connectIdentified(QStringLiteral("id1"), QStringLiteral("pc1"));
    c2 = h.connectIdentified(QStringLiteral("id2"), QStringLiteral("pc2"));
    return c1 && c2;
}

PolicyTarget LabScene::group() const {
    return {labKey, QStringLiteral("Lab"), {}, {}};
}

PolicyTarget LabScene::system(const QString& key, const QString& name) const {
    return {labKey, QStringLiteral("Lab"), key, name};
}

QStringList LabScene::dump() {
    QStringList all;
    for (const char* table :
         {"Group_Table", "System_Table", "Group_Scheduler_Table", "System_Scheduler_Table"})
        all << PolicyRows::tableDump(db(), QLatin1String(table));
    return all;
}
