#include "LinkHarness.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "console/Keys.h"
#include "options/SettingsPayload.h"
#include "protocol/Fields.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

class TestIncomingMessages : public QObject {
    Q_OBJECT
private slots:
    void newSystemIsRecordedAndAnsweredInTwoArrivals();
    void placementOfNewSystem_data();
    void placementOfNewSystem();
    void knownSystemTurnsConnected();
    void secondConnectionOfTheSameSystemDropsTheFirst();
    void versions_data();
    void versions();
    void statusTexts_data();
    void statusTexts();
    void statusBeforeIdentificationChangesNothing();
    void requestsBeforeIdentificationGetNothing();
    void scheduleRequest();
    void settingsRequest();
    void whiteListOfTheGroup();
    void whiteListForSystemUnderRootIsNotSent();
    void blockListOfTheGroup();
    void blockListOfDeletedGroupIsEmpty();
    void nameWithApostropheIsRecorded();
    void longNameAndKeyAreCut();
    void sameIdentificationAgainIsAnsweredAgain();
    void identifyingAsAnotherSystemReleasesTheFirst();
    void failureIsReportedAndConnectionStays();
};

namespace {

QString wire(const QString& text) {
    return QString(text).replace(QLatin1Char('|'), kFieldSeparator);
}

QString shownText(const QString& text) {
    return QString(text).replace(kFieldSeparator, QLatin1Char('|'));
}

int systemRows(Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM System_Table")).toInt();
}

// The stamp of the harness clock: 3/12/2026 10:00:00 AM, plus two seconds.
const QString kScheduleHeader = QStringLiteral("S|3/12/2026 10:00:02 AM|0|");

} // namespace

void TestIncomingMessages::newSystemIsRecordedAndAnsweredInTwoArrivals() {
    LinkHarness link;
    QSignalSpy added(&link.tree(), &SystemTree::nodeAdded);
    SimulatedClient* client = link.connectClient();
    QVERIFY(client);
    client->identify(QStringLiteral("ID-1"), QStringLiteral("PC-1"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), (QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}));
    QCOMPARE(client->rawArrivals().at(0), QByteArray("F\xC7"
                                                     "3\xC7"));

    const QString key = wire(QStringLiteral("c|ID-1|PC-1|"));
    QSqlQuery row =
        link.db().exec(QStringLiteral("SELECT System_Key, System_Name, Group_ID FROM System_Table"));
    QVERIFY(row.next());
    QCOMPARE(row.value(0).toString(), key);
    QCOMPARE(row.value(1).toString(), QStringLiteral("PC-1"));
    QCOMPARE(row.value(2).toInt(), 0);
    QVERIFY(!row.next());

    const TreeNode* node = link.tree().Get_Node_Index_From_Key(key);
    QVERIFY(node);
    QCOMPARE(node->parent, link.tree().root());
    QCOMPARE(node->text, QStringLiteral("PC-1"));
    QCOMPARE(node->image, NodeImage::SystemOnline);
    QCOMPARE(node->selectedImage, NodeImage::SystemOnline);
    QCOMPARE(added.size(), 1);
    QCOMPARE(link.connections().tagOf(1), key);
    QCOMPARE(link.connections().Find_Socket_Of_System(key), 1);
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
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    // A group's members get the group's policy; a system under the root has none.
    QCOMPARE(LinkHarness::shown(client).at(1), inGroup ? kScheduleHeader : QStringLiteral("S"));

    const QString key = Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("PC"));
    const TreeNode* node = link.tree().Get_Node_Index_From_Key(key);
    QVERIFY(node);
    QCOMPARE(node->parent->key, inGroup ? PolicyRows::groupKey(QStringLiteral("Lab")) : Keys::rootKey());
    QCOMPARE(link.db()
                 .scalar(QStringLiteral("SELECT Group_ID FROM System_Table WHERE System_Key=?"), {key})
                 .toInt(),
             inGroup ? lab : 0);
}

void TestIncomingMessages::knownSystemTurnsConnected() {
    LinkHarness link;
    const QString key = PolicyRows::addSystem(link.db(), QStringLiteral("K"), QStringLiteral("KNOWN"), 0);
    link.loadTree();
    QCOMPARE(link.tree().Get_Node_Index_From_Key(key)->image, NodeImage::SystemOffline);
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    QSignalSpy added(&link.tree(), &SystemTree::nodeAdded);
    QVERIFY(link.connectIdentified(QStringLiteral("K"), QStringLiteral("KNOWN")));
    QCOMPARE(link.tree().Get_Node_Index_From_Key(key)->image, NodeImage::SystemOnline);
    QCOMPARE(systemRows(link.db()), 1);
    QCOMPARE(added.size(), 0);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), key);
}

void TestIncomingMessages::secondConnectionOfTheSameSystemDropsTheFirst() {
    LinkHarness link;
    SimulatedClient* first = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(first);
    QSignalSpy firstClosed(first, &SimulatedClient::disconnected);
    SimulatedClient* second = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(second);
    QTRY_VERIFY(!firstClosed.isEmpty());
    const QString key = Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("PC"));
    QCOMPARE(link.connections().socketIndexes(), std::vector<int>{2});
    QCOMPARE(link.connections().Find_Socket_Of_System(key), 2);
    QCOMPARE(link.tree().Get_Node_Index_From_Key(key)->image, NodeImage::SystemOnline);
    QCOMPARE(systemRows(link.db()), 1);
    second->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(second, 1));
}

void TestIncomingMessages::versions_data() {
    QTest::addColumn<QString>("identification");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("1.4") << QStringLiteral("d|ID|PC|1.4|") << true;
    QTest::newRow("1.40") << QStringLiteral("d|ID|PC|1.40|") << true;
    QTest::newRow("D letter") << QStringLiteral("D|ID|PC|1.4|") << true;
    QTest::newRow("1.5") << QStringLiteral("d|ID|PC|1.5|") << false;
    QTest::newRow("1") << QStringLiteral("d|ID|PC|1|") << false;
    QTest::newRow("empty version") << QStringLiteral("d|ID|PC||") << false;
    QTest::newRow("missing version") << QStringLiteral("d|ID|PC|") << false;
    QTest::newRow("version without its separator") << QStringLiteral("d|ID|PC|1.4") << false;
}

void TestIncomingMessages::versions() {
    QFETCH(QString, identification);
    QFETCH(bool, accepted);
    LinkHarness link;
    SimulatedClient* client = link.connectClient();
    client->sendText(wire(identification));
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    if (!accepted) {
        QCOMPARE(client->arrivals(), QStringList{QStringLiteral("T")});
        QCOMPARE(systemRows(link.db()), 0);
        QCOMPARE(link.tree().count(), 1);
        QCOMPARE(link.connections().tagOf(1), QString());
        // The connection stays open and may still identify itself.
        client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
        QVERIFY(LinkHarness::waitForArrivals(client, 3));
        QCOMPARE(LinkHarness::shown(client).mid(1),
                 (QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}));
    } else {
        QVERIFY(LinkHarness::waitForArrivals(client, 2));
        QCOMPARE(LinkHarness::shown(client), (QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}));
    }
    QCOMPARE(systemRows(link.db()), 1);
}

void TestIncomingMessages::statusTexts_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("IN") << QStringLiteral("IN") << QStringLiteral("Internet ON ");
    QTest::newRow("IF") << QStringLiteral("IF") << QStringLiteral("Internet OFF ");
    QTest::newRow("SN") << QStringLiteral("SN") << QStringLiteral("Scheduler Started ");
    QTest::newRow("SF") << QStringLiteral("SF") << QStringLiteral("Scheduler Stopped ");
    QTest::newRow("TN") << QStringLiteral("TN") << QStringLiteral("Timer Started ");
    QTest::newRow("TF") << QStringLiteral("TF") << QStringLiteral("Timer Stopped ");
    QTest::newRow("unknown what") << QStringLiteral("XN") << QString();
    QTest::newRow("unknown state") << QStringLiteral("IX") << QString();
    QTest::newRow("lower case") << QStringLiteral("in") << QString();
    QTest::newRow("no code") << QString() << QString();
}

void TestIncomingMessages::statusTexts() {
    QFETCH(QString, code);
    QFETCH(QString, text);
    LinkHarness link;
    link.clock().set(QDateTime(QDate(2026, 1, 5), QTime(15, 4, 9)));
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    TreeNode* node = link.tree().Get_Node_Index_From_Key(
        Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("PC")));
    link.tree().setTag(node, QStringLiteral("before"));
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    client->reportStatus(code);
    QVERIFY(changed.wait(5000));
    QCOMPARE(changed.at(0).at(0).toString(), node->key);
    QCOMPARE(node->tag,
             text.isEmpty() ? QStringLiteral("before") : text + QStringLiteral("05/01/26 03:04:09 PM"));
    // A status report is not answered.
    client->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(client->arrivals().size(), 1);
    QVERIFY(client->arrivals().at(0).startsWith(QLatin1Char('S')));
}

void TestIncomingMessages::statusBeforeIdentificationChangesNothing() {
    LinkHarness link;
    PolicyRows::addSystem(link.db(), QStringLiteral("ID"), QStringLiteral("PC"), 0);
    link.loadTree();
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    QSignalSpy nodeChanged(&link.tree(), &SystemTree::nodeChanged);
    SimulatedClient* client = link.connectClient();
    client->reportStatus(QStringLiteral("IN"));
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    const TreeNode* node = link.tree().Get_Node_Index_From_Key(
        Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("PC")));
    QCOMPARE(node->tag, QString());
    QCOMPARE(changed.size(), 1); // the identification only
}

void TestIncomingMessages::requestsBeforeIdentificationGetNothing() {
    LinkHarness link;
    PolicyRows::addGroup(link.db(), QStringLiteral("G"));
    link.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup='G'"));
    link.loadTree();
    SimulatedClient* client = link.connectClient();
    for (const char* request : {"s", "o", "r", "b"})
        client->sendText(QLatin1String(request));
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), (QStringList{QStringLiteral("F|3|"), kScheduleHeader}));
}

void TestIncomingMessages::scheduleRequest() {
    LinkHarness link;
    const int group = PolicyRows::addGroup(link.db(), QStringLiteral("G"));
    link.db().exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=1 WHERE Group_ID=?"),
                   {group});
    link.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup='G'"));
    link.loadTree();
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    link.clock().advance(60);
    client->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(LinkHarness::shown(client), QStringList{QStringLiteral("S|3/12/2026 10:01:02 AM|1|True|0|")});
}

void TestIncomingMessages::settingsRequest() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    const QString key = Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("PC"));
    link.db().exec(QStringLiteral("UPDATE System_Table SET Blank_Screen=1"));
    link.db().exec(QStringLiteral("UPDATE Settings_Table SET HTTP=8080"));
    client->askSettings();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    const QString settings = client->arrivals().at(0);
    QCOMPARE(settings, QStringLiteral("O") + Get_The_Settings(link.db(), key));
    QVERIFY(shownText(settings).startsWith(QStringLiteral("O|10|8080|0|")));
    QVERIFY(shownText(settings).endsWith(QStringLiteral("|True|")));
}

void TestIncomingMessages::whiteListOfTheGroup() {
    LinkHarness link;
    const int group = PolicyRows::addGroup(link.db(), QStringLiteral("G"));
    link.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table (URL) VALUES ('www.example.com')"));
    link.db().exec(QStringLiteral("INSERT INTO Group_URL_Table (Group_ID, URL_ID) VALUES (?, 1)"), {group});
    PolicyRows::addSystem(link.db(), QStringLiteral("ID"), QStringLiteral("PC"), group);
    link.loadTree();
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    client->askWhiteList();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(LinkHarness::shown(client), QStringList{QStringLiteral("P|1|www.example.com|")});
}

void TestIncomingMessages::whiteListForSystemUnderRootIsNotSent() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    client->askWhiteList();
    client->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(LinkHarness::shown(client), QStringList{QStringLiteral("S")});
}

void TestIncomingMessages::blockListOfTheGroup() {
    LinkHarness link;
    const int group = PolicyRows::addGroup(link.db(), QStringLiteral("G"));
    link.db().exec(QStringLiteral("INSERT INTO Program_Table (Program) VALUES ('Game.exe')"));
    link.db().exec(QStringLiteral("INSERT INTO Group_Program_Table (Group_ID, Program_ID) VALUES (?, 1)"),
                   {group});
    PolicyRows::addSystem(link.db(), QStringLiteral("ID"), QStringLiteral("PC"), group);
    link.loadTree();
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    client->askBlockList();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(LinkHarness::shown(client), QStringList{QStringLiteral("B|1|Game.exe|")});
}

void TestIncomingMessages::blockListOfDeletedGroupIsEmpty() {
    LinkHarness link;
    const int group = PolicyRows::addGroup(link.db(), QStringLiteral("G"));
    link.db().exec(QStringLiteral("INSERT INTO Program_Table (Program) VALUES ('Game.exe')"));
    link.db().exec(QStringLiteral("INSERT INTO Group_Program_Table (Group_ID, Program_ID) VALUES (?, 1)"),
                   {group});
    PolicyRows::addSystem(link.db(), QStringLiteral("ID"), QStringLiteral("PC"), group);
    link.loadTree();
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    link.db().exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {group});
    client->askBlockList();
    QVERIFY(LinkHarness::waitForArrivals(client, 1));
    QCOMPARE(LinkHarness::shown(client), QStringList{QStringLiteral("B|0|")});
}

void TestIncomingMessages::nameWithApostropheIsRecorded() {
    LinkHarness link;
    QVERIFY(link.connectIdentified(QStringLiteral("O'ID"), QStringLiteral("O'Brien's PC")));
    const QString key = Keys::Make_System_Key(QStringLiteral("O'ID"), QStringLiteral("O'Brien's PC"));
    QCOMPARE(link.db()
                 .scalar(QStringLiteral("SELECT System_Name FROM System_Table WHERE System_Key=?"), {key})
                 .toString(),
             QStringLiteral("O'Brien's PC"));
    QCOMPARE(link.tree().Get_Node_Index_From_Key(key)->text, QStringLiteral("O'Brien's PC"));
    QVERIFY(link.errors().isEmpty());
}

void TestIncomingMessages::longNameAndKeyAreCut() {
    LinkHarness link;
    const QString name40 = QStringLiteral("N").repeated(40);
    QVERIFY(link.connectIdentified(QStringLiteral("A"), name40));
    QCOMPARE(link.db().scalar(QStringLiteral("SELECT System_Name FROM System_Table")).toString(),
             name40.left(30));
    const QString key = wire(QStringLiteral("c|A|") + name40.left(30) + QStringLiteral("|"));
    QVERIFY(link.tree().Get_Node_Index_From_Key(key));

    // Keys that agree in their first 50 characters name one system.
    const QString longId = QStringLiteral("I").repeated(48);
    SimulatedClient* first = link.connectIdentified(longId, QStringLiteral("ONE"));
    QVERIFY(first);
    QSignalSpy firstClosed(first, &SimulatedClient::disconnected);
    QVERIFY(link.connectIdentified(longId, QStringLiteral("TWO")));
    QTRY_VERIFY(!firstClosed.isEmpty());
    const QString cutKey = wire(QStringLiteral("c|") + longId);
    QCOMPARE(cutKey.size(), 50);
    QCOMPARE(link.db()
                 .scalar(QStringLiteral("SELECT count(*) FROM System_Table WHERE System_Key=?"), {cutKey})
                 .toInt(),
             1);
    QCOMPARE(systemRows(link.db()), 2);
}

void TestIncomingMessages::sameIdentificationAgainIsAnsweredAgain() {
    LinkHarness link;
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), (QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}));
    QCOMPARE(systemRows(link.db()), 1);
    QCOMPARE(link.connections().socketIndexes(), std::vector<int>{1});
    QVERIFY(client->isConnected());
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
    QCOMPARE(link.tree().Get_Node_Index_From_Key(b)->image, NodeImage::SystemOnline);
}

void TestIncomingMessages::failureIsReportedAndConnectionStays() {
    LinkHarness link;
    QSignalSpy errors(&link.incoming(), &IncomingMessages::errorOccurred);
    link.db().exec(QStringLiteral("ALTER TABLE System_Table RENAME TO Hidden_Table"));
    SimulatedClient* client = link.connectClient();
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(errors.wait(5000));
    const QString message = errors.at(0).at(0).toString();
    QVERIFY2(message.contains(QStringLiteral(": ")) && message.indexOf(QStringLiteral(": ")) > 0,
             qPrintable(message));
    // The database failed, so the tree shows nothing new.
    QCOMPARE(link.tree().count(), 1);
    link.db().exec(QStringLiteral("ALTER TABLE Hidden_Table RENAME TO System_Table"));
    QVERIFY(client->isConnected());
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), (QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}));
    QCOMPARE(systemRows(link.db()), 1);
}

QTEST_GUILESS_MAIN(TestIncomingMessages)
#include "tst_incomingmessages.moc"
