#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "core/link/SocketErrors.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace kestrava;

class TestConnectionManager : public QObject {
    Q_OBJECT
private slots:
    void lowestGapIsReusedFirst();
    void deadSlotIsCleanedUpAndReused();
    void socketErrors_data();
    void socketErrors();
    void sendToFailedSlotCleansItUp();
    void sendsThatReachNobody();
    void messagesLeaveAsSeparateArrivals();
    void otherConnectionsDoNotWait();
    void resetMarksSystemNotConnectedAtOnce();
    void remoteAddressOfConnectedSystem();
    void allConnectedSystemsInWalkOrder();
    void closeAllSockets();
    void portTakenIsReported();
    void portAboveSixteenBitsIsReported();
};

namespace {

QString key(const char* identifier, const char* name) {
    return Keys::Make_System_Key(QLatin1String(identifier), QLatin1String(name));
}

bool waitForClose(LinkHarness& link, int index) {
    return QTest::qWaitFor(
        [&] {
            const auto indexes = link.connections().socketIndexes();
            return std::find(indexes.begin(), indexes.end(), index) == indexes.end();
        },
        5000);
}

NodeImage imageOf(LinkHarness& link, const QString& k) {
    const TreeNode* node = link.tree().Get_Node_Index_From_Key(k);
    return node ? node->image : NodeImage::Root;
}

} // namespace

void TestConnectionManager::lowestGapIsReusedFirst() {
    LinkHarness link;
    std::vector<SimulatedClient*> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(link.connectClient());
        QVERIFY(clients.back());
        QCOMPARE(link.lastSlot(), i + 1);
    }
    clients[3]->disconnectFromConsole();
    clients[1]->disconnectFromConsole();
    QVERIFY(waitForClose(link, 2));
    QVERIFY(waitForClose(link, 4));
    QCOMPARE(link.connections().socketIndexes(), (std::vector<int>{1, 3}));
    QCOMPARE(link.connections().Get_Free_Socket_Index(), 2);
    QVERIFY(link.connectClient());
    QCOMPARE(link.lastSlot(), 2);
    QVERIFY(link.connectClient());
    QCOMPARE(link.lastSlot(), 4);
}

void TestConnectionManager::deadSlotIsCleanedUpAndReused() {
    LinkHarness link;
    QVERIFY(link.connectIdentified(QStringLiteral("A"), QStringLiteral("PCA")));
    SimulatedClient* b = link.connectIdentified(QStringLiteral("B"), QStringLiteral("PCB"));
    QVERIFY(b);
    QVERIFY(link.connectIdentified(QStringLiteral("C"), QStringLiteral("PCC")));
    QSignalSpy bClosed(b, &SimulatedClient::disconnected);

    // A time-out leaves the slot in place, failed.
    link.connections().Handle_Socket_Error(2, SocketErrors::kTimedOut);
    QCOMPARE(link.connections().socketIndexes(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(imageOf(link, key("B", "PCB")), NodeImage::SystemOnline);

    QCOMPARE(link.connections().Get_Free_Socket_Index(), 2);
    QCOMPARE(imageOf(link, key("B", "PCB")), NodeImage::SystemOffline);
    QVERIFY(link.connectClient());
    QCOMPARE(link.lastSlot(), 2);
    QCOMPARE(link.connections().Find_Socket_Of_System(key("B", "PCB")), 0);
    QTRY_VERIFY(!bClosed.isEmpty());
}

void TestConnectionManager::socketErrors_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("closes");
    QTest::newRow("10050 network down") << 10050 << true;
    QTest::newRow("10052 network reset") << 10052 << true;
    QTest::newRow("10053 aborted") << 10053 << true;
    QTest::newRow("10054 reset") << 10054 << true;
    QTest::newRow("10061 refused") << 10061 << true;
    QTest::newRow("11003 no recovery") << 11003 << true;
    QTest::newRow("10060 time-out") << 10060 << false;
    QTest::newRow("10048 address in use") << 10048 << false;
    QTest::newRow("10055 no buffers") << 10055 << false;
}

void TestConnectionManager::socketErrors() {
    QFETCH(int, number);
    QFETCH(bool, closes);
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("E"), QStringLiteral("PCE"));
    QVERIFY(client);
    link.tree().setTag(link.tree().Get_Node_Index_From_Key(key("E", "PCE")), QStringLiteral("Internet ON x"));
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    link.connections().Handle_Socket_Error(1, number);
    const TreeNode* node = link.tree().Get_Node_Index_From_Key(key("E", "PCE"));
    QCOMPARE(node->image, closes ? NodeImage::SystemOffline : NodeImage::SystemOnline);
    QCOMPARE(node->tag.isEmpty(), closes);
    QCOMPARE(link.connections().Find_Socket_Of_System(key("E", "PCE")), closes ? 0 : 1);
    QCOMPARE(changed.size(), closes ? 1 : 0);
    if (closes) {
        QCOMPARE(changed.at(0).at(0).toString(), key("E", "PCE"));
        QTRY_VERIFY(!client->isConnected());
    }
}

void TestConnectionManager::sendToFailedSlotCleansItUp() {
    LinkHarness link;
    QVERIFY(link.connectIdentified(QStringLiteral("F"), QStringLiteral("PCF")));
    link.connections().Handle_Socket_Error(1, SocketErrors::kTimedOut);
    link.connections().Send_Data_To_System(key("F", "PCF"), QStringLiteral("V"));
    QVERIFY(link.connections().socketIndexes().empty());
    QCOMPARE(imageOf(link, key("F", "PCF")), NodeImage::SystemOffline);
}

void TestConnectionManager::sendsThatReachNobody() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("G"), QStringLiteral("PCG"));
    QVERIFY(client);
    ConnectionManager& c = link.connections();
    c.Send_Data_To_System(key("X", "NOBODY"), QStringLiteral("V"));
    c.Send_Data_To_System(QString(), QStringLiteral("V"));
    c.Send_Data_To_System(Keys::Make_Group_Key(QStringLiteral("G")), QStringLiteral("V"));
    c.Send_Data_To_System(Keys::rootKey(), QStringLiteral("V"));
    c.Send_Data_To_System(QString(), QStringLiteral("V"), 7);
    QCOMPARE(c.socketIndexes(), std::vector<int>{1});
    c.Send_Data_To_System(key("G", "PCG"), QStringLiteral("I"));
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(client->arrivals(), QStringList{QStringLiteral("I")});
}

void TestConnectionManager::messagesLeaveAsSeparateArrivals() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("H"), QStringLiteral("PCH"));
    QVERIFY(client);
    const QStringList sent = {QStringLiteral("V"), QStringLiteral("I"), QStringLiteral("V"),
                              QStringLiteral("T"), QStringLiteral("U")};
    for (const QString& message : sent)
        link.connections().Send_Data_To_System(key("H", "PCH"), message);
    QVERIFY(LinkHarness::waitForArrivals(client, sent.size()));
    QCOMPARE(client->arrivals(), sent);
}

void TestConnectionManager::otherConnectionsDoNotWait() {
    LinkHarness link;
    SimulatedClient* busy = link.connectIdentified(QStringLiteral("J"), QStringLiteral("PCJ"));
    SimulatedClient* idle = link.connectIdentified(QStringLiteral("K"), QStringLiteral("PCK"));
    QVERIFY(busy && idle);
    for (int i = 0; i < 20; ++i)
        link.connections().Send_Data_To_System(key("J", "PCJ"), QStringLiteral("V"));
    link.connections().Send_Data_To_System(key("K", "PCK"), QStringLiteral("I"));
    QVERIFY(LinkHarness::waitForArrivals(idle, 1));
    QVERIFY(busy->arrivals().size() < 20);
    QVERIFY(LinkHarness::waitForArrivals(busy, 20));
}

void TestConnectionManager::resetMarksSystemNotConnectedAtOnce() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("R"), QStringLiteral("PCR"));
    QVERIFY(client);
    link.tree().setTag(link.tree().Get_Node_Index_From_Key(key("R", "PCR")),
                       QStringLiteral("Timer Started x"));
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    client->resetConnection();
    QTRY_COMPARE(imageOf(link, key("R", "PCR")), NodeImage::SystemOffline);
    QCOMPARE(link.tree().Get_Node_Index_From_Key(key("R", "PCR"))->tag, QString());
    QVERIFY(link.connections().socketIndexes().empty());
    QVERIFY(!link.connections().remoteAddress(key("R", "PCR")));
    QCOMPARE(changed.size(), 1);
}

void TestConnectionManager::remoteAddressOfConnectedSystem() {
    LinkHarness link;
    QVERIFY(link.connectIdentified(QStringLiteral("N"), QStringLiteral("PCN")));
    QCOMPARE(link.connections().remoteAddress(key("N", "PCN")), QStringLiteral("127.0.0.1"));
    QCOMPARE(link.connections().remoteAddress(key("N", "OTHER")), std::nullopt);
    // A system's connection is found whatever the letter case of its key.
    QCOMPARE(link.connections().Find_Socket_Of_System(key("N", "PCN").toLower()), 1);
    QCOMPARE(link.connections().Find_Socket_Of_System(QString()), 0);
}

void TestConnectionManager::allConnectedSystemsInWalkOrder() {
    LinkHarness link;
    SimulatedClient* a = link.connectIdentified(QStringLiteral("A"), QStringLiteral("PCA"));
    SimulatedClient* b = link.connectIdentified(QStringLiteral("B"), QStringLiteral("PCB"));
    SimulatedClient* c = link.connectIdentified(QStringLiteral("C"), QStringLiteral("PCC"));
    QVERIFY(a && b && c);
    b->disconnectFromConsole();
    QVERIFY(waitForClose(link, 2));
    link.connections().Send_Data_To_All_Connected_Systems(QStringLiteral("V"));
    QVERIFY(LinkHarness::waitForArrivals(a, 1));
    QVERIFY(LinkHarness::waitForArrivals(c, 1));
    QCOMPARE(a->arrivals(), QStringList{QStringLiteral("V")});
    QCOMPARE(c->arrivals(), QStringList{QStringLiteral("V")});
    QVERIFY(b->arrivals().isEmpty());
}

void TestConnectionManager::closeAllSockets() {
    LinkHarness link;
    SimulatedClient* a = link.connectIdentified(QStringLiteral("A"), QStringLiteral("PCA"));
    SimulatedClient* b = link.connectClient();
    QVERIFY(a && b);
    link.connections().Close_All_Sockets();
    QVERIFY(link.connections().socketIndexes().empty());
    QVERIFY(!link.connections().isListening());
    QTRY_VERIFY(!a->isConnected() && !b->isConnected());
}

void TestConnectionManager::portTakenIsReported() {
    LinkHarness link;
    // Stored ports are 16-bit: find one of those that is free, then take it.
    QTcpServer taker;
    for (quint16 port = 20000; !taker.isListening() && port < 32767; ++port)
        taker.listen(QHostAddress::Any, port);
    QVERIFY(taker.isListening());
    TempDatabase other;
    other.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=?"),
                    {static_cast<int>(taker.serverPort())});
    SystemTree tree;
    ConnectionManager second(other.db(), tree);
    QCOMPARE(second.Get_Local_Port(), static_cast<int>(taker.serverPort()));
    QSignalSpy errors(&second, &ConnectionManager::errorOccurred);
    QVERIFY(!second.Start_Listening());
    QVERIFY(!second.isListening());
    QVERIFY2(second.listenError().startsWith(QStringLiteral("10048: ")), qPrintable(second.listenError()));
    QVERIFY(second.listenError().size() > 7);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), second.listenError());
    QVERIFY(link.connectIdentified(QStringLiteral("A"), QStringLiteral("PCA")));
}

void TestConnectionManager::portAboveSixteenBitsIsReported() {
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=40000"));
    SystemTree tree;
    ConnectionManager connections(temp.db(), tree);
    QVERIFY(!connections.Start_Listening());
    QCOMPARE(connections.listenError(), QStringLiteral("6: Overflow"));
    QVERIFY(!connections.isListening());
}

QTEST_GUILESS_MAIN(TestConnectionManager)
#include "tst_connectionmanager.moc"
