#include "LinkHarness.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

class TestIncomingMessages : public QObject {
    Q_OBJECT
private slots:
    void newSystemIsRecordedAndAnsweredInTwoArrivals();
    void knownSystemTurnsConnected();
    void statusTexts_data();
    void statusTexts();
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
