#include "LinkHarness.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "core/options/SettingsPayload.h"
#include "protocol/Fields.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

class TestIncomingMessages : public QObject {
    Q_OBJECT
private slots:
    void newSystemIsRecordedAndAnsweredInTwoArrivals();
    void placementOfNewSystem_data();
    void placementOfNewSystem();
    void knownSystemTurnsConnected();
    void versions_data();
    void versions();
    void statusTexts_data();
    void statusTexts();
    void nothingIsAnsweredBeforeIdentification();
    void requests_data();
    void requests();
    void secondConnectionOfTheSameSystemDropsTheFirst();
    void sameIdentificationAgainIsAnsweredAgain();
    void identifyingAsAnotherSystemReleasesTheFirst();
    void failureIsReportedAndConnectionStays();
};

namespace {

QString wire(const QString& text) {
    return SimulatedClient::fromDisplayText(text);
}

int systemRows(Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM System_Table")).toInt();
}

const QString kId = QStringLiteral("ID");
const QString kPc = QStringLiteral("PC");
const QString kKey = Keys::Make_System_Key(kId, kPc);
// The stamp of the harness clock: 3/12/2026 10:00:00 AM, plus two seconds.
const QString kScheduleHeader = QStringLiteral("S|3/12/2026 10:00:02 AM|0|");
const QStringList kNewSystemAnswers = {QStringLiteral("F|3|"), QStringLiteral("S")};

} // namespace

void TestIncomingMessages::newSystemIsRecordedAndAnsweredInTwoArrivals() {
    LinkHarness link;
    QSignalSpy added(&link.tree(), &SystemTree::nodeAdded);
    SimulatedClient* client = link.connectClient();
    QVERIFY(client);
    client->identify(kId, kPc);
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), kNewSystemAnswers);
    QCOMPARE(client->rawArrivals().at(0), QByteArray("F\xC7"
                                                     "3\xC7"));
    QCOMPARE(systemRows(link.db()), 1);
    QCOMPARE(link.db().scalar(QStringLiteral("SELECT System_Name FROM System_Table WHERE System_Key=? AND "
                                             "Group_ID=0"),
                              {wire(QStringLiteral("c|ID|PC|"))}),
             QVariant(kPc));
    const TreeNode* node = link.tree().Get_Node_Index_From_Key(kKey);
    QVERIFY(node);
    QCOMPARE(node->parent, link.tree().root());
    QCOMPARE(node->image, NodeImage::SystemOnline);
    QCOMPARE(added.size(), 1);
    QCOMPARE(link.connections().Find_Socket_Of_System(kKey), 1);
    QVERIFY(link.errors().isEmpty());
}

void TestIncomingMessages::placementOfNewSystem_data() {
    QTest::addColumn<QString>("addToGroup");
    QTest::addColumn<bool>("inGroup");
    QTest::newRow("empty AddToGroup") << QString() << false;
    QTest::newRow("AddToGroup names the group") << QStringLiteral("Lab") << true;
    QTest::newRow("AddToGroup in other letter case") << QStringLiteral("LAB") << true;
    QTest::newRow("AddToGroup names no group") << QStringLiteral("Nowhere") << false;
}

void TestIncomingMessages::placementOfNewSystem() {
    QFETCH(QString, addToGroup);
    QFETCH(bool, inGroup);
    LinkHarness link;
    const int lab = PolicyRows::addGroup(link.db(), QStringLiteral("Lab"));
    link.loadTree();
    link.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup=?"), {addToGroup});
    SimulatedClient* client = link.connectClient();
    QVERIFY(client);
    client->identify(kId, kPc);
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    // A group's members get the group's policy; a system under the root has none.
    QCOMPARE(LinkHarness::shown(client).at(1), inGroup ? kScheduleHeader : QStringLiteral("S"));
    const TreeNode* node = link.tree().Get_Node_Index_From_Key(kKey);
    QVERIFY(node);
    QCOMPARE(node->parent->key, inGroup ? PolicyRows::groupKey(QStringLiteral("Lab")) : Keys::rootKey());
    QCOMPARE(link.db()
                 .scalar(QStringLiteral("SELECT Group_ID FROM System_Table WHERE System_Key=?"), {kKey})
                 .toInt(),
             inGroup ? lab : 0);
}

void TestIncomingMessages::knownSystemTurnsConnected() {
    LinkHarness link;
    PolicyRows::addSystem(link.db(), kId, kPc, 0);
    link.loadTree();
    QCOMPARE(link.tree().Get_Node_Index_From_Key(kKey)->image, NodeImage::SystemOffline);
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    QSignalSpy added(&link.tree(), &SystemTree::nodeAdded);
    QVERIFY(link.connectIdentified(kId, kPc));
    QCOMPARE(link.tree().Get_Node_Index_From_Key(kKey)->image, NodeImage::SystemOnline);
    QCOMPARE(systemRows(link.db()), 1);
    QCOMPARE(added.size(), 0);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), kKey);
}

void TestIncomingMessages::versions_data() {
    QTest::addColumn<QString>("identification");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("D letter") << QStringLiteral("D|ID|PC|1.4|") << true;
    QTest::newRow("1.5") << QStringLiteral("d|ID|PC|1.5|") << false;
    QTest::newRow("version without its separator") << QStringLiteral("d|ID|PC|1.4") << false;
}

void TestIncomingMessages::versions() {
    QFETCH(QString, identification);
    QFETCH(bool, accepted);
    LinkHarness link;
    SimulatedClient* client = link.connectClient();
    QVERIFY(client);
    client->sendText(wire(identification));
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    if (!accepted) {
        QCOMPARE(client->arrivals(), QStringList{QStringLiteral("T")});
        QCOMPARE(systemRows(link.db()), 0);
        QCOMPARE(link.tree().count(), 1);
        // The connection stays open and may still identify itself.
        client->identify(kId, kPc);
        QVERIFY(LinkHarness::waitForArrivals(client, 3));
        QCOMPARE(LinkHarness::shown(client).mid(1), kNewSystemAnswers);
    } else {
        QVERIFY(LinkHarness::waitForArrivals(client, 2));
        QCOMPARE(LinkHarness::shown(client), kNewSystemAnswers);
    }
    QCOMPARE(systemRows(link.db()), 1);
}

void TestIncomingMessages::statusTexts_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("IN") << QStringLiteral("IN") << QStringLiteral("Internet ON ");
    QTest::newRow("TF") << QStringLiteral("TF") << QStringLiteral("Timer Stopped ");
    QTest::newRow("unknown what") << QStringLiteral("XN") << QString();
}

void TestIncomingMessages::statusTexts() {
    QFETCH(QString, code);
    QFETCH(QString, text);
    LinkHarness link;
    link.clock().set(QDateTime(QDate(2026, 1, 5), QTime(15, 4, 9)));
    SimulatedClient* client = link.connectIdentified(kId, kPc);
    QVERIFY(client);
    TreeNode* node = link.tree().Get_Node_Index_From_Key(kKey);
    link.tree().setTag(node, QStringLiteral("before"));
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    client->reportStatus(code);
    QVERIFY(changed.wait(5000));
    QCOMPARE(node->tag,
             text.isEmpty() ? QStringLiteral("before") : text + QStringLiteral("05/01/26 03:04:09 PM"));
    // A status report is not answered.
    client->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(client->arrivals().size(), 1);
    QVERIFY(client->arrivals().at(0).startsWith(QLatin1Char('S')));
}

void TestIncomingMessages::nothingIsAnsweredBeforeIdentification() {
    LinkHarness link;
    PolicyRows::addGroup(link.db(), QStringLiteral("G"));
    link.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup='G'"));
    link.loadTree();
    SimulatedClient* client = link.connectClient();
    QVERIFY(client);
    client->reportStatus(QStringLiteral("IN"));
    for (const char* request : {"s", "o", "r", "b"})
        client->sendText(QLatin1String(request));
    client->identify(kId, kPc);
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), (QStringList{QStringLiteral("F|3|"), kScheduleHeader}));
    QCOMPARE(link.tree().Get_Node_Index_From_Key(kKey)->tag, QString());
}

void TestIncomingMessages::requests_data() {
    QTest::addColumn<bool>("inGroup");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("answer");
    const QString none;
    QTest::newRow("schedule of the group")
        << true << QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=1")
        << QStringLiteral("s") << QStringLiteral("S|3/12/2026 10:01:02 AM|1|True|0|");
    QTest::newRow("settings") << false << QStringLiteral("UPDATE Settings_Table SET HTTP=8080")
                              << QStringLiteral("o") << QString();
    QTest::newRow("white list of the group")
        << true << none << QStringLiteral("r") << QStringLiteral("P|1|www.example.com|");
    QTest::newRow("block list of the group")
        << true << none << QStringLiteral("b") << QStringLiteral("B|1|Game.exe|");
    // A system under the root gets no white list; the schedule request shows that nothing came before.
    QTest::newRow("white list under the root") << false << none << QStringLiteral("r") << QStringLiteral("S");
}

void TestIncomingMessages::requests() {
    QFETCH(bool, inGroup);
    QFETCH(QString, change);
    QFETCH(QString, request);
    QFETCH(QString, answer);
    LinkHarness link;
    const int group = PolicyRows::addGroup(link.db(), QStringLiteral("G"));
    link.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table (URL) VALUES ('www.example.com')"));
    link.db().exec(QStringLiteral("INSERT INTO Group_URL_Table (Group_ID, URL_ID) VALUES (?, 1)"), {group});
    link.db().exec(QStringLiteral("INSERT INTO Program_Table (Program) VALUES ('Game.exe')"));
    link.db().exec(QStringLiteral("INSERT INTO Group_Program_Table (Group_ID, Program_ID) VALUES (?, 1)"),
                   {group});
    PolicyRows::addSystem(link.db(), kId, kPc, inGroup ? group : 0);
    link.loadTree();
    SimulatedClient* client = link.connectIdentified(kId, kPc);
    QVERIFY(client);
    if (!change.isEmpty())
        link.db().exec(change);
    link.clock().advance(60);
    client->sendText(request);
    if (request == QLatin1String("r") && !inGroup)
        client->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(LinkHarness::shown(client),
             QStringList{answer.isEmpty()
                             ? SimulatedClient::displayText(encodeSettings(Get_The_Settings(link.db(), kKey)))
                             : answer});
}

void TestIncomingMessages::secondConnectionOfTheSameSystemDropsTheFirst() {
    LinkHarness link;
    // Keys that agree in their first 50 characters name one system.
    const QString longId = QStringLiteral("I").repeated(48);
    SimulatedClient* first = link.connectIdentified(longId, QStringLiteral("ONE"));
    QVERIFY(first);
    QSignalSpy firstClosed(first, &SimulatedClient::disconnected);
    SimulatedClient* second = link.connectIdentified(longId, QStringLiteral("TWO"));
    QVERIFY(second);
    QTRY_VERIFY(!firstClosed.isEmpty());
    QCOMPARE(link.connections().socketIndexes(), std::vector<int>{2});
    QCOMPARE(systemRows(link.db()), 1);
    second->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(second, 1));
}

void TestIncomingMessages::sameIdentificationAgainIsAnsweredAgain() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(kId, kPc);
    QVERIFY(client);
    client->identify(kId, kPc);
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), kNewSystemAnswers);
    QCOMPARE(systemRows(link.db()), 1);
    QCOMPARE(link.connections().socketIndexes(), std::vector<int>{1});
}

void TestIncomingMessages::identifyingAsAnotherSystemReleasesTheFirst() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("A"), QStringLiteral("PCA"));
    QVERIFY(client);
    const QString a = Keys::Make_System_Key(QStringLiteral("A"), QStringLiteral("PCA"));
    const QString b = Keys::Make_System_Key(QStringLiteral("B"), QStringLiteral("PCB"));
    client->identify(QStringLiteral("B"), QStringLiteral("PCB"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(link.connections().Find_Socket_Of_System(a), 0);
    QCOMPARE(link.connections().Find_Socket_Of_System(b), 1);
    QCOMPARE(link.tree().Get_Node_Index_From_Key(a)->image, NodeImage::SystemOffline);
}

void TestIncomingMessages::failureIsReportedAndConnectionStays() {
    LinkHarness link;
    QSignalSpy errors(&link.incoming(), &IncomingMessages::errorOccurred);
    link.db().exec(QStringLiteral("ALTER TABLE System_Table RENAME TO Hidden_Table"));
    SimulatedClient* client = link.connectClient();
    QVERIFY(client);
    client->identify(kId, kPc);
    QVERIFY(errors.wait(5000));
    QVERIFY(errors.at(0).at(0).toString().indexOf(QStringLiteral(": ")) > 0);
    // The database failed, so the tree shows nothing new.
    QCOMPARE(link.tree().count(), 1);
    link.db().exec(QStringLiteral("ALTER TABLE Hidden_Table RENAME TO System_Table"));
    client->identify(kId, kPc);
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), kNewSystemAnswers);
}

QTEST_GUILESS_MAIN(TestIncomingMessages)
#include "tst_incomingmessages.moc"
