#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemTree.h"
#include "core/console/SystemTreeModel.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

namespace {

TreeNode* addGroup(SystemTree& tree, const QString& name) {
    return tree.addNode(tree.root(), Keys::Make_Group_Key(name), name, NodeImage::Group,
                        NodeImage::SelectedGroup);
}

TreeNode* addSystem(SystemTree& tree, TreeNode* parent, const QString& name) {
    return tree.addNode(parent, Keys::Make_System_Key(name, name), name, NodeImage::SystemOffline,
                        NodeImage::SystemOffline);
}

} // namespace

class TestSystemTreeModel : public QObject {
    Q_OBJECT
private slots:
    void rolesCarryKeyImagesAndTag();
    void changesPassTheModelTester();
    void imageChangeSignalsThatNodeOnly();
    void moveIsReportedAsRowMove();
    void flagsFollowTheKind();
    void dropOnANodeIsReportedNotApplied();
};

void TestSystemTreeModel::rolesCarryKeyImagesAndTag() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* group = addGroup(tree, QStringLiteral("Labs"));
    TreeNode* system = addSystem(tree, group, QStringLiteral("pc1"));
    tree.setTag(system, QStringLiteral("Internet ON 01/02/26 10:00:00 AM"));

    const QModelIndex g = model.index(0, 0, model.index(0, 0));
    QCOMPARE(g.data(KeyRole).toString(), Keys::Make_Group_Key(QStringLiteral("Labs")));
    QCOMPARE(g.data(ImageRole).toInt(), 2);
    QCOMPARE(g.data(SelectedImageRole).toInt(), 3);
    const QModelIndex s = model.index(0, 0, g);
    QCOMPARE(s.data(Qt::DisplayRole).toString(), QStringLiteral("pc1"));
    QCOMPARE(s.data(ImageRole).toInt(), 4);
    QCOMPARE(s.data(TagRole).toString(), QStringLiteral("Internet ON 01/02/26 10:00:00 AM"));
    QCOMPARE(SystemTreeModel::nodeAt(s), system);
}

void TestSystemTreeModel::changesPassTheModelTester() {
    SystemTree tree;
    SystemTreeModel model(tree);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    TreeNode* a = addGroup(tree, QStringLiteral("A"));
    TreeNode* b = addGroup(tree, QStringLiteral("B"));
    TreeNode* s1 = addSystem(tree, a, QStringLiteral("s1"));
    addSystem(tree, a, QStringLiteral("s2"));
    TreeNode* loose = addSystem(tree, tree.root(), QStringLiteral("loose"));
    tree.moveNode(s1, b);
    tree.moveNode(loose, a);
    tree.setImages(s1, NodeImage::SystemOnline, NodeImage::SystemOnline);
    tree.setText(b, QStringLiteral("Bee"));
    QVERIFY(tree.setKey(b, Keys::Make_Group_Key(QStringLiteral("Bee"))));
    tree.removeNode(a);
    tree.reset();
    addGroup(tree, QStringLiteral("After reset"));
    QCOMPARE(model.rowCount(model.index(0, 0)), 1);
}

void TestSystemTreeModel::imageChangeSignalsThatNodeOnly() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* group = addGroup(tree, QStringLiteral("G"));
    addSystem(tree, group, QStringLiteral("first"));
    TreeNode* second = addSystem(tree, group, QStringLiteral("second"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    tree.setImages(second, NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(changed.count(), 1);
    const QModelIndex at = changed.front().at(0).toModelIndex();
    QCOMPARE(at, model.indexOf(second));
    QCOMPARE(at.row(), 1);
    QCOMPARE(at.data(ImageRole).toInt(), 5);
}

void TestSystemTreeModel::moveIsReportedAsRowMove() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* from = addGroup(tree, QStringLiteral("From"));
    TreeNode* to = addGroup(tree, QStringLiteral("To"));
    addSystem(tree, to, QStringLiteral("already"));
    TreeNode* moving = addSystem(tree, from, QStringLiteral("moving"));
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);

    tree.moveNode(moving, to);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.front().at(0).toModelIndex(), model.indexOf(from));
    QCOMPARE(moved.front().at(3).toModelIndex(), model.indexOf(to));
    QCOMPARE(moved.front().at(4).toInt(), 1);
    QCOMPARE(model.rowCount(model.indexOf(from)), 0);
    QCOMPARE(model.index(1, 0, model.indexOf(to)).data().toString(), QStringLiteral("moving"));
}

void TestSystemTreeModel::flagsFollowTheKind() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* group = addGroup(tree, QStringLiteral("G"));
    TreeNode* pc = addSystem(tree, group, QStringLiteral("pc"));
    const Qt::ItemFlags root = model.flags(model.index(0, 0));
    QVERIFY(!(root & Qt::ItemIsEditable));
    QVERIFY(!(root & Qt::ItemIsDragEnabled));
    QVERIFY(root & Qt::ItemIsDropEnabled);
    const Qt::ItemFlags g = model.flags(model.indexOf(group));
    QVERIFY((g & Qt::ItemIsEditable) && (g & Qt::ItemIsDropEnabled) && !(g & Qt::ItemIsDragEnabled));
    const Qt::ItemFlags s = model.flags(model.indexOf(pc));
    QVERIFY((s & Qt::ItemIsEditable) && (s & Qt::ItemIsDragEnabled) && !(s & Qt::ItemIsDropEnabled));
}

void TestSystemTreeModel::dropOnANodeIsReportedNotApplied() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* from = addGroup(tree, QStringLiteral("From"));
    TreeNode* to = addGroup(tree, QStringLiteral("To"));
    TreeNode* pc = addSystem(tree, from, QStringLiteral("pc"));
    QSignalSpy dropped(&model, &SystemTreeModel::keysDropped);
    std::unique_ptr<QMimeData> data(model.mimeData({model.indexOf(pc)}));

    // Between the group's rows as on its own row.
    QVERIFY(!model.dropMimeData(data.get(), Qt::MoveAction, 0, 0, model.indexOf(to)));
    QVERIFY(!model.dropMimeData(data.get(), Qt::MoveAction, -1, -1, model.indexOf(to)));
    QCOMPARE(dropped.count(), 2);
    QCOMPARE(dropped.front().at(0).toBool(), false);
    QCOMPARE(dropped.front().at(1).toStringList(), QStringList{pc->key});
    QCOMPARE(dropped.front().at(2).toString(), to->key);
    QCOMPARE(pc->parent, from);
}

QTEST_GUILESS_MAIN(TestSystemTreeModel)
#include "tst_systemtreemodel.moc"
