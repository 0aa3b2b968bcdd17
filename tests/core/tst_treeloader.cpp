#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"

#include <QTest>

using namespace kestrava;

class TestTreeLoader : public QObject {
    Q_OBJECT
private slots:
    void groupsInIdOrderThenSystemsWithoutGroup();
    void failedReadingLeavesPartialTree();
};

namespace {

// Each node as text(image,selected image) with its children in braces.
QString shape(const TreeNode* node) {
    QString out =
        QStringLiteral("%1(%2,%3)").arg(node->text).arg(int(node->image)).arg(int(node->selectedImage));
    if (node->children.empty())
        return out;
    QStringList children;
    for (const auto& child : node->children)
        children << shape(child.get());
    return out + QLatin1Char('{') + children.join(QLatin1Char(' ')) + QLatin1Char('}');
}

} // namespace

void TestTreeLoader::groupsInIdOrderThenSystemsWithoutGroup() {
    TempDatabase temp;
    Database& db = temp.db();
    const qint64 labs = PolicyRows::addGroup(db, QStringLiteral("Labs"));
    const qint64 gone = PolicyRows::addGroup(db, QStringLiteral("Gone"));
    const qint64 office = PolicyRows::addGroup(db, QStringLiteral("Office"));
    for (const auto& [id, group] :
         {std::pair{"Alpha", office}, {"Orphan", 0}, {"Lab1", labs}, {"Deleted", gone}, {"Lab2", labs}})
        db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,?)"),
                {Keys::Make_System_Key(QLatin1String(id), QLatin1String(id)), QLatin1String(id), group});
    db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {gone});

    SystemTree tree;
    QVERIFY(Load_Systems_Tree(db, tree));
    QCOMPARE(shape(tree.root()), QStringLiteral("Computers(1,1){Labs(2,3){Lab1(4,4) Lab2(4,4)} "
                                                "Office(2,3){Alpha(4,4)} Orphan(4,4) Deleted(4,4)}"));
    QVERIFY(tree.Get_Node_Index_From_Key(Keys::Make_Group_Key(QStringLiteral("labs"))));
    QVERIFY(
        tree.Get_Node_Index_From_Key(Keys::Make_System_Key(QStringLiteral("Lab1"), QStringLiteral("Lab1"))));
}

void TestTreeLoader::failedReadingLeavesPartialTree() {
    TempDatabase temp;
    PolicyRows::addGroup(temp.db(), QStringLiteral("First"));
    PolicyRows::addGroup(temp.db(), QStringLiteral("Second"));
    temp.db().exec(QStringLiteral("DROP TABLE System_Table"));
    SystemTree tree;
    QVERIFY(!Load_Systems_Tree(temp.db(), tree));
    QCOMPARE(shape(tree.root()), QStringLiteral("Computers(1,1){First(2,3)}"));
}

QTEST_GUILESS_MAIN(TestTreeLoader)
#include "tst_treeloader.moc"
