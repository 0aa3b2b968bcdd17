#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/ChangedRows.h"
#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemTree.h"
#include "core/console/SystemTreeModel.h"
#include "core/console/TreeLoader.h"
#include "protocol/Fields.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <numeric>

using namespace kestrava;
using namespace Qt::StringLiterals;

using Ranges = QList<std::pair<int, int>>;
Q_DECLARE_METATYPE(Ranges)

class TestSystemTree : public QObject {
    Q_OBJECT
private slots:
    void keys();
    void changes_data();
    void changes();
    void modelItemsAndDrop();
    void changedRowsFirstAtOnceRestInLimitedRanges_data();
    void changedRowsFirstAtOnceRestInLimitedRanges();
    void loads();
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

TreeNode* add(SystemTree& tree, TreeNode* parent, const QString& name) {
    if (parent)
        return tree.addNode(parent, Keys::Make_System_Key(name, name), name, NodeImage::SystemOffline,
                            NodeImage::SystemOffline);
    return tree.addNode(tree.root(), Keys::Make_Group_Key(name), name, NodeImage::Group,
                        NodeImage::SelectedGroup);
}

} // namespace

void TestSystemTree::keys() {
    const QString cut = Keys::Make_System_Key(QString(30, QLatin1Char('i')), QString(30, QLatin1Char('n')));
    const QString system = Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("PC-7"));
    QCOMPARE(cut.size(), Keys::kMaxSystemKeyLength);
    QCOMPARE(Keys::Get_System_Field_From_Key(cut), QString());
    QCOMPARE(Keys::Get_System_Field_From_Key(system), QStringLiteral("PC-7"));
    // Root, group, system, and keys that are none of them.
    const QString group = Keys::Make_Group_Key(QStringLiteral("Lab 1"));
    for (const QString& key :
         {Keys::rootKey(), group, system, cut, QStringLiteral("C") + kFieldSeparator, QString()})
        QCOMPARE((QList<bool>{Keys::Is_Root_Key(key), Keys::Is_Group_Key(key), Keys::Is_System_Key(key)}),
                 (QList<bool>{key == Keys::rootKey(), key == group, key == system || key == cut}));
}

// Each row changes the tree root{gA{c1, c4}, gB{c2}, c3} by "what node [to]"; shape is the walk order
// as key<parent, model what its model signalled.
void TestSystemTree::changes_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("model");
    const QString start = QStringLiteral("gA<rComputers gB<rComputers c1<gA c4<gA c2<gB c3<rComputers");
    const auto row = [](const char* name, const char* change, bool accepted, const QString& shape,
                        const char* model) {
        QTest::newRow(name) << QString::fromLatin1(change) << accepted << shape << QString::fromLatin1(model);
    };
    row("move keeps the walk order", "move c1 gB", true,
        u"gA<rComputers gB<rComputers c1<gB c4<gA c2<gB c3<rComputers"_s, "moved gA>gB@1");
    row("move into its own child refused", "move gA c1", true, start, "");
    row("remove forgets the subtree", "remove gA", true, u"gB<rComputers c2<gB c3<rComputers"_s,
        "removed rComputers@0");
    row("key taken in other letter case", "add GA", false, start, "");
    row("new key taken by another node", "key gA GB", false, start, "");
    row("new key is looked up", "key gA gC", true,
        u"gC<rComputers gB<rComputers c1<gC c4<gC c2<gB c3<rComputers"_s, "changed gC");
    row("same images signal nothing", "images c3 0", true, start, "");
    row("new images signal once", "images c3 1", true, start, "changed c3");
    row("new text", "text c3", true, start, "changed c3");
    row("reset", "reset", true, QString(), "reset");
}

void TestSystemTree::changes() {
    QFETCH(QString, change);
    QFETCH(bool, accepted);
    QFETCH(QString, shape);
    QFETCH(QString, model);
    SystemTree tree;
    SystemTreeModel treeModel(tree);
    QAbstractItemModelTester tester(&treeModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const auto& [key, parent] :
         {std::pair{"gA", ""}, {"gB", ""}, {"c1", "gA"}, {"c4", "gA"}, {"c2", "gB"}, {"c3", ""}}) {
        TreeNode* under = *parent ? tree.Get_Node_Index_From_Key(QLatin1String(parent)) : tree.root();
        tree.addNode(under, QLatin1String(key), {}, NodeImage::SystemOffline, NodeImage::SystemOffline);
    }
    QStringList signalled;
    const auto keyOf = [](const QModelIndex& index) { return index.data(KeyRole).toString(); };
    connect(&treeModel, &QAbstractItemModel::dataChanged,
            [&](const QModelIndex& index) { signalled << u"changed "_s + keyOf(index); });
    connect(&treeModel, &QAbstractItemModel::rowsMoved,
            [&](const QModelIndex& from, int, int, const QModelIndex& to, int row) {
                signalled << u"moved %1>%2@%3"_s.arg(keyOf(from), keyOf(to)).arg(row);
            });
    connect(&treeModel, &QAbstractItemModel::rowsRemoved, [&](const QModelIndex& parent, int first) {
        signalled << u"removed %1@%2"_s.arg(keyOf(parent)).arg(first);
    });
    connect(&treeModel, &QAbstractItemModel::modelReset, [&] { signalled << u"reset"_s; });
    const QStringList words = change.split(QLatin1Char(' '));
    TreeNode* node = tree.Get_Node_Index_From_Key(words.value(1));
    const NodeImage image =
        words.value(2) == QLatin1String("1") ? NodeImage::SystemOnline : NodeImage::SystemOffline;
    bool done = true;
    if (words[0] == QLatin1String("move"))
        tree.moveNode(node, tree.Get_Node_Index_From_Key(words[2]));
    else if (words[0] == QLatin1String("remove"))
        tree.removeNode(node);
    else if (words[0] == QLatin1String("add"))
        done = tree.addNode(tree.root(), words[1], {}, NodeImage::Group, NodeImage::Group) != nullptr;
    else if (words[0] == QLatin1String("key"))
        done = tree.setKey(node, words[2]);
    else if (words[0] == QLatin1String("text"))
        tree.setText(node, change);
    else if (words[0] == QLatin1String("reset"))
        tree.reset();
    else
        tree.setImages(node, image, image);
    QCOMPARE(done, accepted);
    QCOMPARE(signalled.join(QLatin1Char(' ')), model);

    QStringList walk;
    for (const TreeNode* node : tree.nodesInOrder()) {
        // Every node is found by its key in any letter case, at its row among its siblings.
        QCOMPARE(tree.Get_Node_Index_From_Key(node->key.toLower()), node);
        if (node->parent) {
            walk << node->key + QLatin1Char('<') + node->parent->key;
            QCOMPARE(node->parent->children.at(static_cast<std::size_t>(node->row())).get(), node);
        }
    }
    QCOMPARE(walk.join(QLatin1Char(' ')), shape);
    for (const char* key : {"gA", "c1", "c4"})
        QCOMPARE(tree.Get_Node_Index_From_Key(QLatin1String(key)) != nullptr,
                 shape.contains(QLatin1String(key)));
    QCOMPARE(tree.count(), 1 + shape.count(QLatin1Char('<')));
}

// The flags for editing, dragging and dropping and the roles of a group and a system; a drop between
// a group's rows is reported as one on its row, and not applied.
void TestSystemTree::modelItemsAndDrop() {
    SystemTree tree;
    SystemTreeModel model(tree);
    TreeNode* a = add(tree, nullptr, u"A"_s);
    TreeNode* b = add(tree, nullptr, u"B"_s);
    TreeNode* s1 = add(tree, a, u"s1"_s);
    const QString tag = u"Internet ON 01/02/26 10:00:00 AM"_s;
    tree.setTag(s1, tag);
    const QModelIndex g = model.indexOf(a);
    const QModelIndex s = model.indexOf(s1);
    QCOMPARE(SystemTreeModel::nodeAt(s), s1);
    const Qt::ItemFlags moves = Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    QCOMPARE(model.flags(model.index(0, 0)) & moves, Qt::ItemIsDropEnabled);
    QCOMPARE(model.flags(g) & moves, Qt::ItemIsEditable | Qt::ItemIsDropEnabled);
    QCOMPARE(model.flags(s) & moves, Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    QCOMPARE((QVariantList{g.data(KeyRole), g.data(ImageRole), g.data(SelectedImageRole), s.data(),
                           s.data(ImageRole), s.data(TagRole)}),
             (QVariantList{a->key, 2, 3, u"s1"_s, 4, tag}));

    QSignalSpy dropped(&model, &SystemTreeModel::keysDropped);
    std::unique_ptr<QMimeData> data(model.mimeData({s}));
    QVERIFY(!model.dropMimeData(data.get(), Qt::MoveAction, 0, 0, model.indexOf(b)));
    QVERIFY(!model.dropMimeData(data.get(), Qt::MoveAction, -1, -1, model.indexOf(b)));
    QCOMPARE(dropped.count(), 2);
    QCOMPARE(dropped.front(), (QVariantList{false, QStringList{s1->key}, b->key}));
    QCOMPARE(s1->parent, a);
}

// The first change is signalled at once, the rest when flushed, or in later passes of the loop (rows
// 0 to 19,999 with a slow view, which takes more passes than one).
void TestSystemTree::changedRowsFirstAtOnceRestInLimitedRanges_data() {
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

void TestSystemTree::changedRowsFirstAtOnceRestInLimitedRanges() {
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

// Groups in id order, then systems without a group or with a deleted one; a failed load keeps what it read.
void TestSystemTree::loads() {
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
    db.exec(QStringLiteral("DROP TABLE System_Table"));
    SystemTree partial;
    QVERIFY(!Load_Systems_Tree(db, partial));
    QCOMPARE(shape(partial.root()), QStringLiteral("Computers(1,1){Labs(2,3)}"));
}

QTEST_GUILESS_MAIN(TestSystemTree)
#include "tst_systemtree.moc"
