#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "protocol/Fields.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

class TestSystemTree : public QObject {
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
    void systemKeyCutToFifty();
    void lookupIgnoresCase();
    void duplicateKeysRefused();
    void walkOrderKeptAcrossMovesAndRemovals();
    void removeForgetsSubtree();
    void renameKeyRehashes();
    void moveRefusesCycles();
    void unchangedImageEmitsNothing();
};

void TestSystemTree::keys_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("root");
    QTest::addColumn<bool>("group");
    QTest::addColumn<bool>("system");
    QTest::newRow("root") << Keys::rootKey() << true << false << false;
    QTest::newRow("group") << Keys::Make_Group_Key(QStringLiteral("Lab")) << false << true << false;
    QTest::newRow("system") << Keys::Make_System_Key(QStringLiteral("1"), QStringLiteral("PC")) << false
                            << false << true;
    QTest::newRow("upper C is no system") << QStringLiteral("C") + kFieldSeparator << false << false << false;
    QTest::newRow("empty") << QString() << false << false << false;
}

void TestSystemTree::keys() {
    QFETCH(QString, key);
    QFETCH(bool, root);
    QFETCH(bool, group);
    QFETCH(bool, system);
    QCOMPARE(Keys::Is_Root_Key(key), root);
    QCOMPARE(Keys::Is_Group_Key(key), group);
    QCOMPARE(Keys::Is_System_Key(key), system);
}

void TestSystemTree::systemKeyCutToFifty() {
    const QString sep(kFieldSeparator);
    QCOMPARE(Keys::Make_Group_Key(QStringLiteral("Lab 1")),
             QStringLiteral("g") + sep + QStringLiteral("LAB 1"));
    const QString key = Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("PC-7"));
    QCOMPARE(key, QStringLiteral("c") + sep + QStringLiteral("ID") + sep + QStringLiteral("PC-7") + sep);
    QCOMPARE(Keys::Get_System_Field_From_Key(key), QStringLiteral("PC-7"));

    const QString longKey =
        Keys::Make_System_Key(QString(30, QLatin1Char('i')), QString(30, QLatin1Char('n')));
    QCOMPARE(longKey.size(), Keys::kMaxSystemKeyLength);
    QCOMPARE(Keys::Get_System_Field_From_Key(longKey), QString());
}

void TestSystemTree::lookupIgnoresCase() {
    SystemTree tree;
    TreeNode* group = tree.addNode(tree.root(), Keys::Make_Group_Key(QStringLiteral("Lab")),
                                   QStringLiteral("Lab"), NodeImage::Group, NodeImage::SelectedGroup);
    const QString key = Keys::Make_System_Key(QStringLiteral("Id"), QStringLiteral("Pc"));
    TreeNode* system =
        tree.addNode(group, key, QStringLiteral("Pc"), NodeImage::SystemOffline, NodeImage::SystemOffline);
    QCOMPARE(tree.Get_Node_Index_From_Key(key.toLower()), system);
    QCOMPARE(tree.Get_Node_Index_From_Key(key.toUpper()), system);
    QCOMPARE(tree.Get_Node_Index_From_Key(QStringLiteral("RCOMPUTERS")), tree.root());
    QCOMPARE(tree.Get_Node_Index_From_Key(QStringLiteral("nothing")), nullptr);
}

void TestSystemTree::duplicateKeysRefused() {
    SystemTree tree;
    QVERIFY(tree.addNode(tree.root(), QStringLiteral("gA"), QStringLiteral("A"), NodeImage::Group,
                         NodeImage::SelectedGroup));
    QCOMPARE(tree.addNode(tree.root(), QStringLiteral("Ga"), QStringLiteral("a"), NodeImage::Group,
                          NodeImage::SelectedGroup),
             nullptr);
    QCOMPARE(tree.count(), 2);
}

void TestSystemTree::walkOrderKeptAcrossMovesAndRemovals() {
    SystemTree tree;
    auto add = [&](TreeNode* parent, const char* key) {
        return tree.addNode(parent, QLatin1String(key), QLatin1String(key), NodeImage::Group,
                            NodeImage::Group);
    };
    TreeNode* a = add(tree.root(), "gA");
    TreeNode* b = add(tree.root(), "gB");
    TreeNode* s1 = add(a, "c1");
    add(a, "c4");
    add(b, "c2");
    TreeNode* s3 = add(tree.root(), "c3");
    tree.moveNode(s1, b);
    tree.removeNode(s3);
    QStringList order;
    for (const TreeNode* node : tree.nodesInOrder()) {
        order << node->key;
        // Each node keeps its row among its siblings through adds, moves and removals.
        if (node->parent)
            QCOMPARE(node->parent->children.at(static_cast<std::size_t>(node->row())).get(), node);
    }
    QCOMPARE(order, (QStringList{QStringLiteral("rComputers"), QStringLiteral("gA"), QStringLiteral("gB"),
                                 QStringLiteral("c1"), QStringLiteral("c4"), QStringLiteral("c2")}));
    QCOMPARE(s1->parent, b);
    QCOMPARE(b->children.back().get(), s1);
}

void TestSystemTree::removeForgetsSubtree() {
    SystemTree tree;
    TreeNode* group = tree.addNode(tree.root(), QStringLiteral("gA"), QStringLiteral("A"), NodeImage::Group,
                                   NodeImage::Group);
    tree.addNode(group, QStringLiteral("c1"), QStringLiteral("1"), NodeImage::SystemOffline,
                 NodeImage::SystemOffline);
    QSignalSpy removed(&tree, &SystemTree::nodeRemoved);
    tree.removeNode(group);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(tree.Get_Node_Index_From_Key(QStringLiteral("c1")), nullptr);
    QCOMPARE(tree.count(), 1);
    QVERIFY(tree.root()->children.empty());
}

void TestSystemTree::renameKeyRehashes() {
    SystemTree tree;
    TreeNode* a = tree.addNode(tree.root(), QStringLiteral("gA"), QStringLiteral("A"), NodeImage::Group,
                               NodeImage::Group);
    tree.addNode(tree.root(), QStringLiteral("gB"), QStringLiteral("B"), NodeImage::Group, NodeImage::Group);
    QVERIFY(!tree.setKey(a, QStringLiteral("GB")));
    QVERIFY(tree.setKey(a, QStringLiteral("ga")));
    QVERIFY(tree.setKey(a, QStringLiteral("gC")));
    QCOMPARE(tree.Get_Node_Index_From_Key(QStringLiteral("gc")), a);
    QCOMPARE(tree.Get_Node_Index_From_Key(QStringLiteral("gA")), nullptr);
}

void TestSystemTree::moveRefusesCycles() {
    SystemTree tree;
    TreeNode* a = tree.addNode(tree.root(), QStringLiteral("gA"), QStringLiteral("A"), NodeImage::Group,
                               NodeImage::Group);
    TreeNode* s = tree.addNode(a, QStringLiteral("c1"), QStringLiteral("1"), NodeImage::SystemOffline,
                               NodeImage::SystemOffline);
    tree.moveNode(a, s);
    QCOMPARE(a->parent, tree.root());
    QCOMPARE(s->parent, a);
}

void TestSystemTree::unchangedImageEmitsNothing() {
    SystemTree tree;
    TreeNode* s = tree.addNode(tree.root(), QStringLiteral("c1"), QStringLiteral("1"),
                               NodeImage::SystemOffline, NodeImage::SystemOffline);
    QSignalSpy changed(&tree, &SystemTree::nodeChanged);
    tree.setImages(s, NodeImage::SystemOffline, NodeImage::SystemOffline);
    QCOMPARE(changed.count(), 0);
    tree.setImages(s, NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(changed.count(), 1);
    QVERIFY(s->isConnected());
}

QTEST_GUILESS_MAIN(TestSystemTree)
#include "tst_systemtree.moc"
