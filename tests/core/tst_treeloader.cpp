#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"

#include <QTest>

using namespace kestrava;

namespace {

void addSystem(Database& db, const QString& id, const QString& alias, qint64 groupId) {
    db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,?)"),
            {Keys::Make_System_Key(id, id.toLower()), alias, groupId});
}

QStringList texts(const TreeNode* node) {
    QStringList out;
    for (const auto& child : node->children)
        out << child->text;
    return out;
}

} // namespace

class TestTreeLoader : public QObject {
    Q_OBJECT
private slots:
    void groupsInIdOrderThenSystemsWithoutGroup();
    void imagesOfEachKind();
    void failedReadingLeavesPartialTree();
};

void TestTreeLoader::groupsInIdOrderThenSystemsWithoutGroup() {
    TempDatabase temp;
    Database& db = temp.db();
    const qint64 labs = PolicyRows::addGroup(db, QStringLiteral("Labs"));
    const qint64 gone = PolicyRows::addGroup(db, QStringLiteral("Gone"));
    const qint64 office = PolicyRows::addGroup(db, QStringLiteral("Office"));
    addSystem(db, QStringLiteral("A1"), QStringLiteral("Alpha"), office);
    addSystem(db, QStringLiteral("O1"), QStringLiteral("Orphan zero"), 0);
    addSystem(db, QStringLiteral("L1"), QStringLiteral("Lab one"), labs);
    addSystem(db, QStringLiteral("D1"), QStringLiteral("Deleted group's"), gone);
    addSystem(db, QStringLiteral("L2"), QStringLiteral("Lab two"), labs);
    db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {gone});

    SystemTree tree;
    QVERIFY(Load_Systems_Tree(db, tree));
    QCOMPARE(texts(tree.root()),
             (QStringList{QStringLiteral("Labs"), QStringLiteral("Office"), QStringLiteral("Orphan zero"),
                          QStringLiteral("Deleted group's")}));
    const TreeNode* labsNode = tree.Get_Node_Index_From_Key(Keys::Make_Group_Key(QStringLiteral("labs")));
    QVERIFY(labsNode);
    QCOMPARE(texts(labsNode), (QStringList{QStringLiteral("Lab one"), QStringLiteral("Lab two")}));
    QCOMPARE(texts(tree.root()->children[1].get()), QStringList{QStringLiteral("Alpha")});
    QCOMPARE(tree.count(), 1 + 2 + 5);
}

void TestTreeLoader::imagesOfEachKind() {
    TempDatabase temp;
    addSystem(temp.db(), QStringLiteral("S"), QStringLiteral("Sys"),
              PolicyRows::addGroup(temp.db(), QStringLiteral("G")));
    SystemTree tree;
    QVERIFY(Load_Systems_Tree(temp.db(), tree));
    const TreeNode* group = tree.root()->children.front().get();
    const TreeNode* system = group->children.front().get();
    QCOMPARE(tree.root()->image, NodeImage::Root);
    QCOMPARE(tree.root()->selectedImage, NodeImage::Root);
    QCOMPARE(group->image, NodeImage::Group);
    QCOMPARE(group->selectedImage, NodeImage::SelectedGroup);
    QCOMPARE(system->image, NodeImage::SystemOffline);
    QCOMPARE(system->selectedImage, NodeImage::SystemOffline);
    QVERIFY(system->tag.isEmpty());
}

void TestTreeLoader::failedReadingLeavesPartialTree() {
    TempDatabase temp;
    PolicyRows::addGroup(temp.db(), QStringLiteral("First"));
    PolicyRows::addGroup(temp.db(), QStringLiteral("Second"));
    temp.db().exec(QStringLiteral("DROP TABLE System_Table"));
    SystemTree tree;
    QVERIFY(!Load_Systems_Tree(temp.db(), tree));
    QCOMPARE(texts(tree.root()), QStringList{QStringLiteral("First")});
}

QTEST_GUILESS_MAIN(TestTreeLoader)
#include "tst_treeloader.moc"
