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

// Groups A{s1, s2} and B{already}.
struct Scene {
    SystemTree tree;
    SystemTreeModel model{tree};
    TreeNode* a = add(tree, nullptr, QStringLiteral("A"));
    TreeNode* b = add(tree, nullptr, QStringLiteral("B"));
    TreeNode* already = add(tree, b, QStringLiteral("already"));
    TreeNode* s1 = add(tree, a, QStringLiteral("s1"));
    TreeNode* s2 = add(tree, a, QStringLiteral("s2"));
};

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
    Scene scene;
    scene.tree.setTag(scene.s1, kTag);
    const QModelIndex g = scene.model.indexOf(scene.a);
    const QModelIndex s = scene.model.indexOf(scene.s1);
    QCOMPARE(SystemTreeModel::nodeAt(s), scene.s1);
    const Qt::ItemFlags moves = Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    QCOMPARE(scene.model.flags(scene.model.index(0, 0)) & moves, Qt::ItemIsDropEnabled);
    QCOMPARE(scene.model.flags(g) & moves, Qt::ItemIsEditable | Qt::ItemIsDropEnabled);
    QCOMPARE(scene.model.flags(s) & moves, Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    QCOMPARE((QVariantList{g.data(KeyRole), g.data(ImageRole), g.data(SelectedImageRole), s.data(),
                           s.data(ImageRole), s.data(TagRole)}),
             (QVariantList{scene.a->key, 2, 3, QStringLiteral("s1"), 4, kTag}));
}

void TestSystemTreeModel::followsTheTree() {
    Scene scene;
    SystemTreeModel& model = scene.model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);

    scene.tree.setImages(scene.s2, NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.front().at(0).toModelIndex(), model.index(1, 0, model.indexOf(scene.a)));
    scene.tree.moveNode(scene.s1, scene.b);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.front().at(0).toModelIndex(), model.indexOf(scene.a));
    QCOMPARE(moved.front().at(3).toModelIndex(), model.indexOf(scene.b));
    QCOMPARE(moved.front().at(4).toInt(), 1);
    QCOMPARE(model.index(1, 0, model.indexOf(scene.b)).data().toString(), QStringLiteral("s1"));

    scene.tree.moveNode(add(scene.tree, scene.tree.root(), QStringLiteral("loose")), scene.a);
    scene.tree.setText(scene.b, QStringLiteral("Bee"));
    QVERIFY(scene.tree.setKey(scene.b, Keys::Make_Group_Key(QStringLiteral("Bee"))));
    scene.tree.removeNode(scene.a);
    scene.tree.reset();
    add(scene.tree, nullptr, QStringLiteral("After reset"));
    QCOMPARE(model.rowCount(model.index(0, 0)), 1);
}

// Between the group's rows as on its own row.
void TestSystemTreeModel::dropIsReportedNotApplied() {
    Scene scene;
    QSignalSpy dropped(&scene.model, &SystemTreeModel::keysDropped);
    std::unique_ptr<QMimeData> data(scene.model.mimeData({scene.model.indexOf(scene.s1)}));
    QVERIFY(!scene.model.dropMimeData(data.get(), Qt::MoveAction, 0, 0, scene.model.indexOf(scene.b)));
    QVERIFY(!scene.model.dropMimeData(data.get(), Qt::MoveAction, -1, -1, scene.model.indexOf(scene.b)));
    QCOMPARE(dropped.count(), 2);
    QCOMPARE(dropped.front(), (QVariantList{false, QStringList{scene.s1->key}, scene.b->key}));
    QCOMPARE(scene.s1->parent, scene.a);
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
