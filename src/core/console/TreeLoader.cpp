#include "core/console/TreeLoader.h"

#include "core/console/SystemTree.h"
#include "core/store/Database.h"

#include <QSqlQuery>

namespace kestrava {

namespace {

void addSystems(SystemTree& tree, TreeNode* parent, QSqlQuery& query) {
    while (query.next()) {
        tree.addNode(parent, query.value(0).toString(), query.value(1).toString(), NodeImage::SystemOffline,
                     NodeImage::SystemOffline);
    }
}

} // namespace

bool Load_Systems_Tree(Database& db, SystemTree& tree) {
    tree.reset();
    try {
        QSqlQuery groups = db.exec(
            QStringLiteral("SELECT Group_ID,Group_Key,Group_Name FROM Group_Table ORDER BY Group_ID"));
        while (groups.next()) {
            TreeNode* group =
                tree.addNode(tree.root(), groups.value(1).toString(), groups.value(2).toString(),
                             NodeImage::Group, NodeImage::SelectedGroup);
            if (!group)
                continue;
            QSqlQuery systems =
                db.exec(QStringLiteral("SELECT System_Key,System_Name FROM System_Table WHERE Group_ID=? "
                                       "ORDER BY System_ID"),
                        {groups.value(0)});
            addSystems(tree, group, systems);
        }
        QSqlQuery orphans = db.exec(QStringLiteral(
            "SELECT System_Key,System_Name FROM System_Table WHERE System_Table.Group_ID NOT IN "
            "(SELECT Group_Table.Group_ID FROM Group_Table) ORDER BY System_ID"));
        addSystems(tree, tree.root(), orphans);
    } catch (const DatabaseError&) {
        return false;
    }
    return true;
}

} // namespace kestrava
