#include "core/console/ChangedRows.h"
#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemTree.h"
#include "core/console/SystemTreeModel.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <numeric>

using namespace kestrava;

using Ranges = QList<std::pair<int, int>>;
Q_DECLARE_METATYPE(Ranges)

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
    void changedRowsFirstAtOnceRestInLimitedRanges_data();
    void changedRowsFirstAtOnceRestInLimitedRanges();
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

// The first change is signalled at once, the rest when flushed, or in later passes of the loop (rows
// 0 to 19,999 with a slow view, which takes more passes than one).
void TestSystemTreeModel::changedRowsFirstAtOnceRestInLimitedRanges_data() {
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<bool>("flush");
    QTest::addColumn<Ranges>("signalled");
    constexpr int limit = ChangedRows::kRowsPerRange;
    QTest::newRow("later rows as one span") << QList<int>{4, 9, 3, 5} << true << Ranges{{4, 4}, {3, 9}};
    QTest::newRow("one row more than a range")
        << QList<int>{0, 0, limit} << true << Ranges{{0, 0}, {0, limit - 1}, {limit, limit}};
    QList<int> many(20'000);
    std::iota(many.begin(), many.end(), 0);
    Ranges later{{0, 0}};
    for (int first = 1; first < 20'000; first += limit)
        later.append({first, std::min(first + limit - 1, 19'999)});
    QTest::newRow("passes of the loop") << many << false << later;
}

void TestSystemTreeModel::changedRowsFirstAtOnceRestInLimitedRanges() {
    QFETCH(QList<int>, rows);
    QFETCH(bool, flush);
    QFETCH(Ranges, signalled);
    Ranges got;
    ChangedRows changed([&](const TreeNode*, int first, int last) {
        got.append({first, last});
        // A view that takes a while for each range, when the loop hands them out.
        QElapsedTimer busy;
        busy.start();
        while (!flush && busy.elapsed() < 1) {
        }
    });
    for (int row : rows)
        changed.add(nullptr, row);
    QCOMPARE(got.size(), 1);
    if (flush)
        changed.flush();
    QTRY_COMPARE(got, signalled);
}

QTEST_GUILESS_MAIN(TestSystemTreeModel)
#include "tst_systemtreemodel.moc"
