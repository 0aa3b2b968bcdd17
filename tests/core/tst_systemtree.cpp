#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"
#include "protocol/Fields.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

class TestSystemTree : public QObject {
    Q_OBJECT
private slots:
    void keys();
    void changes_data();
    void changes();
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
// as key<parent.
void TestSystemTree::changes_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("changedSignals");
    const QString start = QStringLiteral("gA<rComputers gB<rComputers c1<gA c4<gA c2<gB c3<rComputers");
    QTest::newRow("move keeps the walk order")
        << "move c1 gB" << true << "gA<rComputers gB<rComputers c1<gB c4<gA c2<gB c3<rComputers" << 0;
    QTest::newRow("move into its own child refused") << "move gA c1" << true << start << 0;
    QTest::newRow("remove forgets the subtree")
        << "remove gA" << true << "gB<rComputers c2<gB c3<rComputers" << 0;
    QTest::newRow("key taken in other letter case") << "add GA" << false << start << 0;
    QTest::newRow("new key taken by another node") << "key gA GB" << false << start << 0;
    QTest::newRow("new key is looked up")
        << "key gA gC" << true << "gC<rComputers gB<rComputers c1<gC c4<gC c2<gB c3<rComputers" << 1;
    QTest::newRow("same images signal nothing") << "images c3 0" << true << start << 0;
    QTest::newRow("new images signal once") << "images c3 1" << true << start << 1;
}

void TestSystemTree::changes() {
    QFETCH(QString, change);
    QFETCH(bool, accepted);
    QFETCH(QString, shape);
    QFETCH(int, changedSignals);
    SystemTree tree;
    for (const auto& [key, parent] :
         {std::pair{"gA", ""}, {"gB", ""}, {"c1", "gA"}, {"c4", "gA"}, {"c2", "gB"}, {"c3", ""}}) {
        TreeNode* under = *parent ? tree.Get_Node_Index_From_Key(QLatin1String(parent)) : tree.root();
        tree.addNode(under, QLatin1String(key), {}, NodeImage::SystemOffline, NodeImage::SystemOffline);
    }
    QSignalSpy changed(&tree, &SystemTree::nodeChanged);
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
    else
        tree.setImages(node, image, image);
    QCOMPARE(done, accepted);
    QCOMPARE(changed.count(), changedSignals);

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
