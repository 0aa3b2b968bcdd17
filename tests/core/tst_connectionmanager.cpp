#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"
#include "core/link/SocketErrors.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <set>

using namespace kestrava;

class TestConnectionManager : public QObject {
    Q_OBJECT
private slots:
    void slotsAreReused();
    void socketErrors_data();
    void socketErrors();
    void sends();
    void massDrop_data();
    void massDrop();
    void listenErrors_data();
    void listenErrors();
};

namespace {

QString key(const QString& identifier) {
    return Keys::Make_System_Key(identifier, QStringLiteral("PC") + identifier);
}

SimulatedClient* identified(LinkHarness& link, const QString& identifier) {
    return link.connectIdentified(identifier, QStringLiteral("PC") + identifier);
}

NodeImage imageOf(LinkHarness& link, const QString& k) {
    return link.tree().Get_Node_Index_From_Key(k)->image;
}

} // namespace

// The lowest free slot is taken first; a failed slot stays until it is wanted again or written to.
void TestConnectionManager::slotsAreReused() {
    LinkHarness link;
    std::vector<SimulatedClient*> clients;
    for (const char* id : {"A", "B", "C", "D"})
        clients.push_back(identified(link, QLatin1String(id)));
    QCOMPARE(link.lastSlot(), 4);
    clients[3]->disconnectFromConsole();
    clients[1]->disconnectFromConsole();
    QTRY_COMPARE(link.connections().socketIndexes(), (std::vector<int>{1, 3}));
    QVERIFY(link.connectClient());
    QCOMPARE(link.lastSlot(), 2);
    QSignalSpy cClosed(clients[2], &SimulatedClient::disconnected);
    link.connections().Handle_Socket_Error(3, SocketErrors::kTimedOut);
    QCOMPARE(imageOf(link, key(QStringLiteral("C"))), NodeImage::SystemOnline);
    QCOMPARE(link.connections().Get_Free_Socket_Index(), 3);
    QCOMPARE(imageOf(link, key(QStringLiteral("C"))), NodeImage::SystemOffline);
    QTRY_VERIFY(!cClosed.isEmpty());
    link.connections().Handle_Socket_Error(1, SocketErrors::kTimedOut);
    link.connections().Send_Data_To_System(key(QStringLiteral("A")), QStringLiteral("V"));
    QCOMPARE(link.connections().socketIndexes(), std::vector<int>{2});
    QCOMPARE(imageOf(link, key(QStringLiteral("A"))), NodeImage::SystemOffline);
}

void TestConnectionManager::socketErrors_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("closes");
    for (int number : {10050, 10052, 10053, 10054, 10061, 11003})
        QTest::addRow("%d closes", number) << number << true;
    for (int number : {10060, 10048, 10055})
        QTest::addRow("%d keeps", number) << number << false;
}

void TestConnectionManager::socketErrors() {
    QFETCH(int, number);
    QFETCH(bool, closes);
    LinkHarness link;
    SimulatedClient* client = identified(link, QStringLiteral("E"));
    QVERIFY(client);
    TreeNode* node = link.tree().Get_Node_Index_From_Key(key(QStringLiteral("E")));
    link.tree().setTag(node, QStringLiteral("Internet ON x"));
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    link.connections().Handle_Socket_Error(1, number);
    QCOMPARE(node->image, closes ? NodeImage::SystemOffline : NodeImage::SystemOnline);
    QCOMPARE(node->tag.isEmpty(), closes);
    QCOMPARE(link.connections().Find_Socket_Of_System(key(QStringLiteral("E"))), closes ? 0 : 1);
    QCOMPARE(changed.size(), closes ? 1 : 0);
    if (closes)
        QTRY_VERIFY(!client->isConnected());
}

// Keys that name no connection reach nobody; each message leaves on its own; a busy connection makes
// no other wait; "to all" skips closed slots. Closing all stops the listening too.
void TestConnectionManager::sends() {
    LinkHarness link;
    SimulatedClient* busy = identified(link, QStringLiteral("J"));
    SimulatedClient* gone = identified(link, QStringLiteral("G"));
    SimulatedClient* idle = identified(link, QStringLiteral("K"));
    QVERIFY(busy && gone && idle);
    gone->disconnectFromConsole();
    QTRY_COMPARE(link.connections().socketIndexes(), (std::vector<int>{1, 3}));
    ConnectionManager& c = link.connections();
    for (const QString& nobody :
         {key(QStringLiteral("X")), QString(), Keys::rootKey(), Keys::Make_Group_Key(QStringLiteral("G"))})
        c.Send_Data_To_System(nobody, QStringLiteral("T"));
    c.Send_Data_To_System(QString(), QStringLiteral("T"), 7);
    const QStringList sent = {QStringLiteral("V"), QStringLiteral("I"), QStringLiteral("U")};
    for (int i = 0; i < 20; ++i)
        c.Send_Data_To_System(key(QStringLiteral("J")), sent[i % 3]);
    c.Send_Data_To_All_Connected_Systems(QStringLiteral("V"));
    QVERIFY(LinkHarness::waitForArrivals(idle, 1));
    QVERIFY(busy->arrivals().size() < 21);
    QVERIFY(LinkHarness::waitForArrivals(busy, 21));
    QCOMPARE(idle->arrivals(), QStringList{QStringLiteral("V")});
    QCOMPARE(busy->arrivals().mid(0, 3), sent);
    QCOMPARE(busy->arrivals().size(), 21);
    QVERIFY(gone->arrivals().isEmpty());
    QCOMPARE(c.socketIndexes(), (std::vector<int>{1, 3}));
    c.Close_All_Sockets();
    QVERIFY(c.socketIndexes().empty());
    QVERIFY(!c.isListening());
    QTRY_VERIFY(!busy->isConnected() && !idle->isConnected());
}

// Many systems dropping at once: the list rows follow although their change signals are gathered, and
// every released connection is closed.
void TestConnectionManager::massDrop_data() {
    QTest::addColumn<int>("dropEvery");
    QTest::addColumn<bool>("reset");
    QTest::newRow("all close") << 1 << false;
    QTest::newRow("every seventh resets") << 7 << true;
}

void TestConnectionManager::massDrop() {
    QFETCH(int, dropEvery);
    QFETCH(bool, reset);
    constexpr int kClients = 120;
    LinkHarness link;
    std::vector<std::unique_ptr<SimulatedClient>> peers;
    for (int i = 0; i < kClients; ++i) {
        SimulatedClient* peer = peers.emplace_back(std::make_unique<SimulatedClient>()).get();
        connect(peer, &SimulatedClient::connected, peer,
                [peer, i] { peer->identify(QString::number(i), QStringLiteral("PC%1").arg(i)); });
        peer->connectTo(QStringLiteral("127.0.0.1"), link.connections().listeningPort());
    }
    QTRY_COMPARE_WITH_TIMEOUT(link.connections().socketIndexes().size(), std::size_t(kClients), 20000);
    QTRY_COMPARE(link.tree().count(), kClients + 1);
    SystemListModel list(link.tree());
    list.setRemoteAddressLookup([&](const QString& k) { return link.connections().remoteAddress(k); });
    QObject::connect(&link.connections(), &ConnectionManager::listItemChanged, &list,
                     &SystemListModel::refreshKey);
    list.Show_Node_In_List(link.tree().root());
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    std::set<int> dropped;
    for (int i = 0; i < kClients; i += dropEvery) {
        dropped.insert(list.Get_List_Index_From_Key(key(QString::number(i))) - 1);
        reset ? peers[std::size_t(i)]->resetConnection() : peers[std::size_t(i)]->disconnectFromConsole();
    }
    QTRY_COMPARE_WITH_TIMEOUT(link.connections().socketIndexes().size(), kClients - dropped.size(), 10000);
    QTRY_COMPARE(link.connections().closingCount(), std::size_t{0});
    // The gathered signals of a pass arrive when control is back in the event loop.
    const auto allSignalled = [&] {
        std::set<int> signalled;
        for (const QList<QVariant>& arguments : std::as_const(changed))
            for (int row = arguments.at(0).toModelIndex().row(); row <= arguments.at(1).toModelIndex().row();
                 ++row)
                signalled.insert(row);
        return std::includes(signalled.begin(), signalled.end(), dropped.begin(), dropped.end());
    };
    QTRY_VERIFY(allSignalled());
    QVERIFY(changed.size() < qsizetype(dropped.size()));
    for (int row = 0; row < kClients; ++row) {
        const ListRow shown = list.rowAt(row);
        const bool gone = dropped.count(row) > 0;
        QCOMPARE(shown.connectionStatus,
                 gone ? SystemListModel::notConnectedText() : SystemListModel::connectedText());
        QCOMPARE(shown.ipAddress, gone ? QString() : QStringLiteral("127.0.0.1"));
        QCOMPARE(shown.image, gone ? NodeImage::SystemOffline : NodeImage::SystemOnline);
    }
}

void TestConnectionManager::listenErrors_data() {
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("error");
    QTest::newRow("port taken") << true << QStringLiteral("10048: ");
    QTest::newRow("port above 16 bits") << false << QStringLiteral("6: Overflow");
}

void TestConnectionManager::listenErrors() {
    QFETCH(bool, taken);
    QFETCH(QString, error);
    // Stored ports are 16-bit: find one of those that is free, then take it.
    QTcpServer taker;
    for (quint16 port = 20000; taken && !taker.isListening() && port < 32767; ++port)
        taker.listen(QHostAddress::Any, port);
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=?"),
                   {taken ? int(taker.serverPort()) : 40000});
    SystemTree tree;
    ConnectionManager connections(temp.db(), tree);
    QSignalSpy errors(&connections, &ConnectionManager::errorOccurred);
    QVERIFY(!connections.Start_Listening());
    QVERIFY(!connections.isListening());
    QVERIFY2(connections.listenError().startsWith(error) && connections.listenError().size() > 7,
             qPrintable(connections.listenError()));
    QCOMPARE(errors.size(), 1);
}

QTEST_MAIN(TestConnectionManager)
#include "tst_connectionmanager.moc"
