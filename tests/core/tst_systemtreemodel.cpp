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

const QString kTag = QStringLiteral("Internet ON 01/02/26 10:00:00 AM");

TreeNode* add(SystemTree& tree, TreeNode* parent, const QString& name) {
    if (parent)
        return tree.addNode(parent, Keys::Make_System_Key(name, name), name, NodeImage::SystemOffline,
                            NodeImage::SystemOffline);
    return tree.addNode(tree.root(), Keys::Make_Group_Key(name), name, NodeImage::Group,
                        NodeImage::SelectedGroup);
}

} // namespace

class TestSystemTreeModel : public QObject {
    Q_OBJECT
private slots:
    void itemData();
    void followsTheTree();
    void dropIsReportedNotApplied();
};

// The flags for editing, dragging and dropping, and the roles of a group and a system.
void TestSystemTreeModel::itemData() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* labs = add(tree, nullptr, QStringLiteral("Labs"));
    TreeNode* pc1 = add(tree, labs, QStringLiteral("pc1"));
    tree.setTag(pc1, kTag);
    const QModelIndex g = model.indexOf(labs);
    const QModelIndex s = model.indexOf(pc1);
    QCOMPARE(SystemTreeModel::nodeAt(s), pc1);
    const Qt::ItemFlags moves = Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    QCOMPARE(model.flags(model.index(0, 0)) & moves, Qt::ItemIsDropEnabled);
    QCOMPARE(model.flags(g) & moves, Qt::ItemIsEditable | Qt::ItemIsDropEnabled);
    QCOMPARE(model.flags(s) & moves, Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    QCOMPARE((QVariantList{g.data(KeyRole), g.data(ImageRole), g.data(SelectedImageRole)}),
             (QVariantList{labs->key, 2, 3}));
    QCOMPARE((QVariantList{s.data(), s.data(ImageRole), s.data(TagRole)}),
             (QVariantList{QStringLiteral("pc1"), 4, kTag}));
}

void TestSystemTreeModel::followsTheTree() {
    SystemTree tree;
    SystemTreeModel model(tree);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    TreeNode* a = add(tree, nullptr, QStringLiteral("A"));
    TreeNode* b = add(tree, nullptr, QStringLiteral("B"));
    add(tree, b, QStringLiteral("already"));
    TreeNode* s1 = add(tree, a, QStringLiteral("s1"));
    TreeNode* s2 = add(tree, a, QStringLiteral("s2"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);

    tree.setImages(s2, NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.front().at(0).toModelIndex(), model.index(1, 0, model.indexOf(a)));
    tree.moveNode(s1, b);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.front().at(0).toModelIndex(), model.indexOf(a));
    QCOMPARE(moved.front().at(3).toModelIndex(), model.indexOf(b));
    QCOMPARE(moved.front().at(4).toInt(), 1);
    QCOMPARE(model.index(1, 0, model.indexOf(b)).data().toString(), QStringLiteral("s1"));

    tree.moveNode(add(tree, tree.root(), QStringLiteral("loose")), a);
    tree.setText(b, QStringLiteral("Bee"));
    QVERIFY(tree.setKey(b, Keys::Make_Group_Key(QStringLiteral("Bee"))));
    tree.removeNode(a);
    tree.reset();
    add(tree, nullptr, QStringLiteral("After reset"));
    QCOMPARE(model.rowCount(model.index(0, 0)), 1);
}

void TestSystemTreeModel::dropIsReportedNotApplied() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* from = add(tree, nullptr, QStringLiteral("From"));
    TreeNode* to = add(tree, nullptr, QStringLiteral("To"));
    TreeNode* pc = add(tree, from, QStringLiteral("pc"));
    QSignalSpy dropped(&model, &SystemTreeModel::keysDropped);
    std::unique_ptr<QMimeData> data(model.mimeData({model.indexOf(pc)}));

    // Between the group's rows as on its own row.
    QVERIFY(!model.dropMimeData(data.get(), Qt::MoveAction, 0, 0, model.indexOf(to)));
    QVERIFY(!model.dropMimeData(data.get(), Qt::MoveAction, -1, -1, model.indexOf(to)));
    QCOMPARE(dropped.count(), 2);
    QCOMPARE(dropped.front(), (QVariantList{false, QStringList{pc->key}, to->key}));
    QCOMPARE(pc->parent, from);
}

QTEST_GUILESS_MAIN(TestSystemTreeModel)
#include "tst_systemtreemodel.moc"
