#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

namespace {

QString addSystem(Database& db, const QString& id, const QString& name, const QString& alias,
                  qint64 groupId) {
    const QString key = Keys::Make_System_Key(id, name);
    db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,?)"),
            {key, alias, groupId});
    return key;
}

QString cell(const SystemListModel& model, int row, int column) {
    return model.index(row, column).data().toString();
}

QStringList column(const SystemListModel& model, int c) {
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << cell(model, row, c);
    return out;
}

// A factory database with two groups, systems in one of them and two systems without a group.
struct Network {
    TempDatabase temp;
    SystemTree tree;
    SystemListModel list{tree};
    QString pc1, pc2, loose;

    Network() {
        Database& db = temp.db();
        const qint64 labs = PolicyRows::addGroup(db, QStringLiteral("Labs"));
        PolicyRows::addGroup(db, QStringLiteral("Empty"));
        const qint64 gone = PolicyRows::addGroup(db, QStringLiteral("Gone"));
        pc1 = addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC-ONE"), QStringLiteral("Front desk"),
                        labs);
        pc2 = addSystem(db, QStringLiteral("ID2"), QStringLiteral("PC-TWO"), QStringLiteral("Back office"),
                        labs);
        loose = addSystem(db, QStringLiteral("ID3"), QStringLiteral("LOOSE"), QStringLiteral("Loose"), 0);
        addSystem(db, QStringLiteral("ID4"), QStringLiteral("STRAY"), QStringLiteral("Stray"), gone);
        db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {gone});
        Load_Systems_Tree(db, tree);
    }
    TreeNode* node(const QString& key) const { return tree.Get_Node_Index_From_Key(key); }
    TreeNode* group(const QString& name) const { return node(Keys::Make_Group_Key(name)); }
    QString rowKey(int row) const { return list.rowAt(row).key; }
};

} // namespace

class TestSystemListModel : public QObject {
    Q_OBJECT
private slots:
    void rootListsGroupsThenSystemsWithoutGroup();
    void groupListsItsSystems();
    void systemAloneShowsItsOwnGroup();
    void nullNodeLeavesListAsItIs();
    void rowFollowsImageAndTagOfItsNode();
    void removedNodeLosesItsRow();
    void systemsArrivingInShownNodeAppearTogether_data();
    void systemsArrivingInShownNodeAppearTogether();
    void sortsOnceByColumn();
    void passesTheModelTester();
    void dragCarriesKeysInListOrder();
};

void TestSystemListModel::rootListsGroupsThenSystemsWithoutGroup() {
    Network net;
    net.list.setRemoteAddressLookup(
        [](const QString&) { return std::optional<QString>(QStringLiteral("1.2.3.4")); });
    net.list.Show_Node_In_List(net.tree.root());
    QCOMPARE(column(net.list, SystemListModel::Alias),
             (QStringList{QStringLiteral("Labs"), QStringLiteral("Empty"), QStringLiteral("Loose"),
                          QStringLiteral("Stray")}));
    QCOMPARE(column(net.list, SystemListModel::Group), QStringList(4, QStringLiteral("Computers")));
    QCOMPARE(cell(net.list, 2, SystemListModel::System), QStringLiteral("LOOSE"));
    QCOMPARE(net.list.index(0, 0).data(ImageRole).toInt(), 2);
    QCOMPARE(net.list.index(2, 0).data(ImageRole).toInt(), 4);
    // Group rows have no system and are never connected.
    for (int row : {0, 1}) {
        QCOMPARE(cell(net.list, row, SystemListModel::System), QString());
        QCOMPARE(cell(net.list, row, SystemListModel::IpAddress), QString());
        QCOMPARE(cell(net.list, row, SystemListModel::ConnectionStatus), QStringLiteral("Not Connected"));
        QCOMPARE(cell(net.list, row, SystemListModel::InternetStatus), QString());
    }
}

void TestSystemListModel::groupListsItsSystems() {
    Network net;
    net.list.Show_Node_In_List(net.group(QStringLiteral("Labs")));
    QCOMPARE(column(net.list, SystemListModel::Alias),
             (QStringList{QStringLiteral("Front desk"), QStringLiteral("Back office")}));
    QCOMPARE(column(net.list, SystemListModel::System),
             (QStringList{QStringLiteral("PC-ONE"), QStringLiteral("PC-TWO")}));
    QCOMPARE(column(net.list, SystemListModel::Group), QStringList(2, QStringLiteral("Labs")));
    QCOMPARE(column(net.list, SystemListModel::ConnectionStatus),
             QStringList(2, QStringLiteral("Not Connected")));
    QCOMPARE(net.list.index(1, 0).data(KeyRole).toString(), net.pc2);
    // Keys are found whatever their letter case.
    QCOMPARE(net.list.Get_List_Index_From_Key(net.pc2.toLower()), 2);
    QCOMPARE(net.list.Get_List_Index_From_Key(net.loose), 0);
}

void TestSystemListModel::systemAloneShowsItsOwnGroup() {
    Network net;
    TreeNode* pc = net.node(net.pc2);
    net.tree.setTag(pc, QStringLiteral("Timer Started 01/02/26 09:00:00 AM"));
    net.list.Show_Node_In_List(pc);
    QCOMPARE(net.list.rowCount(), 1);
    QCOMPARE(cell(net.list, 0, SystemListModel::Alias), QStringLiteral("Back office"));
    QCOMPARE(cell(net.list, 0, SystemListModel::System), QStringLiteral("PC-TWO"));
    QCOMPARE(cell(net.list, 0, SystemListModel::Group), QStringLiteral("Labs"));
    QCOMPARE(cell(net.list, 0, SystemListModel::InternetStatus),
             QStringLiteral("Timer Started 01/02/26 09:00:00 AM"));
    QCOMPARE(net.list.index(0, 0).data(TagRole).toString(),
             QStringLiteral("Timer Started 01/02/26 09:00:00 AM"));

    net.list.Show_Node_In_List(net.node(net.loose));
    QCOMPARE(cell(net.list, 0, SystemListModel::Group), QStringLiteral("Computers"));
}

void TestSystemListModel::nullNodeLeavesListAsItIs() {
    Network net;
    QSignalSpy shown(&net.list, &SystemListModel::nodeShown);
    net.list.Show_Node_In_List(net.tree.root());
    net.list.Show_Node_In_List(nullptr);
    QCOMPARE(net.list.rowCount(), 4);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.front().at(0).toString(), QStringLiteral("rComputers"));
}

void TestSystemListModel::rowFollowsImageAndTagOfItsNode() {
    Network net;
    std::optional<QString> address;
    net.list.setRemoteAddressLookup([&address](const QString&) { return address; });
    net.list.Show_Node_In_List(net.group(QStringLiteral("Labs")));
    QSignalSpy changed(&net.list, &QAbstractItemModel::dataChanged);
    TreeNode* pc = net.node(net.pc2);

    address = QStringLiteral("10.0.0.7");
    net.tree.setImages(pc, NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.front().at(0).toModelIndex().row(), 1);
    QCOMPARE(net.list.index(1, 0).data(ImageRole).toInt(), 5);
    QCOMPARE(cell(net.list, 1, SystemListModel::IpAddress), QStringLiteral("10.0.0.7"));
    QCOMPARE(cell(net.list, 1, SystemListModel::ConnectionStatus), QStringLiteral("Connected"));

    net.tree.setTag(pc, QStringLiteral("Internet OFF 01/02/26 11:00:00 AM"));
    QCOMPARE(cell(net.list, 1, SystemListModel::InternetStatus),
             QStringLiteral("Internet OFF 01/02/26 11:00:00 AM"));

    address.reset();
    net.tree.setImages(pc, NodeImage::SystemOffline, NodeImage::SystemOffline);
    net.tree.setTag(pc, QString());
    QCOMPARE(cell(net.list, 1, SystemListModel::IpAddress), QString());
    QCOMPARE(cell(net.list, 1, SystemListModel::ConnectionStatus), QStringLiteral("Not Connected"));
    QCOMPARE(cell(net.list, 1, SystemListModel::InternetStatus), QString());
    QCOMPARE(cell(net.list, 0, SystemListModel::ConnectionStatus), QStringLiteral("Not Connected"));

    const int before = changed.count();
    net.tree.setImages(net.node(net.loose), NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(changed.count(), before);

    address = QStringLiteral("10.0.0.8");
    net.list.refreshKey(net.pc1.toLower());
    QCOMPARE(cell(net.list, 0, SystemListModel::IpAddress), QStringLiteral("10.0.0.8"));
    // Later changes of one pass arrive together, once control is back in the event loop.
    QTRY_COMPARE(changed.count(), before + 1);
    QCOMPARE(changed.back().at(0).toModelIndex().row(), 0);
}

void TestSystemListModel::removedNodeLosesItsRow() {
    Network net;
    net.list.Show_Node_In_List(net.group(QStringLiteral("Labs")));
    net.tree.removeNode(net.node(net.pc1));
    QCOMPARE(column(net.list, SystemListModel::Alias), QStringList{QStringLiteral("Back office")});
    QCOMPARE(net.list.Get_List_Index_From_Key(net.pc2), 1);
    net.tree.setImages(net.node(net.pc2), NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(net.list.index(0, 0).data(ImageRole).toInt(), 5);
}

void TestSystemListModel::systemsArrivingInShownNodeAppearTogether_data() {
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("joined");
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("group shown") << "Labs"
                                 << "Labs" << 5;
    QTest::newRow("other group") << "Empty"
                                 << "Labs" << 0;
}

void TestSystemListModel::systemsArrivingInShownNodeAppearTogether() {
    QFETCH(QString, shown);
    QFETCH(QString, joined);
    QFETCH(int, rowsAfter);
    Network net;
    net.list.Show_Node_In_List(net.group(shown));
    QSignalSpy inserted(&net.list, &QAbstractItemModel::rowsInserted);
    const int before = net.list.rowCount();
    for (const char* name : {"LAB-A", "LAB-B", "LAB-C"})
        net.tree.addNode(net.group(joined),
                         Keys::Make_System_Key(QStringLiteral("L"), QString::fromLatin1(name)),
                         QString::fromLatin1(name), NodeImage::SystemOffline, NodeImage::SystemOffline);
    QTRY_COMPARE(net.list.rowCount(), rowsAfter);
    if (rowsAfter == before)
        return;
    // The first at once, the rest of the pass as one range.
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(column(net.list, SystemListModel::Alias).mid(before),
             (QStringList{QStringLiteral("LAB-A"), QStringLiteral("LAB-B"), QStringLiteral("LAB-C")}));
    QCOMPARE(
        net.list.Get_List_Index_From_Key(Keys::Make_System_Key(QStringLiteral("L"), QStringLiteral("LAB-C"))),
        5);
}

void TestSystemListModel::sortsOnceByColumn() {
    Network net;
    net.list.Show_Node_In_List(net.tree.root());
    net.list.sort(SystemListModel::Alias, Qt::DescendingOrder);
    QCOMPARE(column(net.list, SystemListModel::Alias),
             (QStringList{QStringLiteral("Empty"), QStringLiteral("Labs"), QStringLiteral("Loose"),
                          QStringLiteral("Stray")}));
    QCOMPARE(net.list.Get_List_Index_From_Key(net.loose), 3);
    net.list.sort(SystemListModel::System);
    QCOMPARE(column(net.list, SystemListModel::System),
             (QStringList{QString(), QString(), QStringLiteral("LOOSE"), QStringLiteral("STRAY")}));
    net.tree.setImages(net.node(net.loose), NodeImage::SystemOnline, NodeImage::SystemOnline);
    QCOMPARE(net.list.index(2, 0).data(ImageRole).toInt(), 5);
}

void TestSystemListModel::passesTheModelTester() {
    Network net;
    QAbstractItemModelTester tester(&net.list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    net.list.Show_Node_In_List(net.tree.root());
    net.list.sort(SystemListModel::Group);
    net.list.Show_Node_In_List(net.group(QStringLiteral("Labs")));
    for (const char* name : {"NEW-1", "NEW-2"})
        net.tree.addNode(net.group(QStringLiteral("Labs")),
                         Keys::Make_System_Key(QStringLiteral("N"), QString::fromLatin1(name)),
                         QString::fromLatin1(name), NodeImage::SystemOffline, NodeImage::SystemOffline);
    net.tree.setTag(net.node(net.pc1), QStringLiteral("x"));
    net.list.removeRowOfKey(net.pc1);
    net.tree.reset();
    QCOMPARE(net.list.rowCount(), 0);
}

void TestSystemListModel::dragCarriesKeysInListOrder() {
    Network net;
    net.list.Show_Node_In_List(net.tree.root());
    QVERIFY(net.list.flags(net.list.index(0, 0)) & Qt::ItemIsDropEnabled);
    QVERIFY(!(net.list.flags(net.list.index(0, 0)) & Qt::ItemIsDragEnabled));
    QVERIFY(net.list.flags(net.list.index(2, 0)) & Qt::ItemIsDragEnabled);
    QVERIFY(!(net.list.flags(net.list.index(2, 1)) & Qt::ItemIsEditable));
    std::unique_ptr<QMimeData> data(
        net.list.mimeData({net.list.index(3, 0), net.list.index(2, 1), net.list.index(2, 0)}));
    QSignalSpy dropped(&net.list, &SystemListModel::keysDropped);
    QVERIFY(!net.list.dropMimeData(data.get(), Qt::MoveAction, -1, -1, net.list.index(1, 0)));
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.front().at(0).toStringList(), (QStringList{net.loose, net.rowKey(3)}));
    QCOMPARE(dropped.front().at(1).toString(), Keys::Make_Group_Key(QStringLiteral("Empty")));
    QVERIFY(!net.list.dropMimeData(data.get(), Qt::MoveAction, -1, -1, QModelIndex()));
    QCOMPARE(dropped.count(), 1);
}

QTEST_GUILESS_MAIN(TestSystemListModel)
#include "tst_systemlistmodel.moc"
