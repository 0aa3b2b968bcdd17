#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

// What identifications and reports do to the tree and the connections; what they answer on the wire is
// in the transcript of console orders.
class TestIncomingMessages : public QObject {
    Q_OBJECT
private slots:
    void identifications_data();
    void identifications();
    void statusTexts_data();
    void statusTexts();
    void failureIsReportedAndConnectionStays();
};

namespace {

const QString kLongId = QStringLiteral("I").repeated(48);

QString keyOf(const QString& identification) {
    return Keys::Make_System_Key(identification.section(QLatin1Char(' '), 0, 0).replace(u'@', kLongId),
                                 identification.section(QLatin1Char(' '), 1));
}

QStringList items(const char* texts) {
    return QString::fromLatin1(texts).split(u';');
}

} // namespace

// The last identification is online on the last connection, all others offline.
void TestIncomingMessages::identifications_data() {
    QTest::addColumn<QStringList>("steps"); // "connection identifier name"; '@' is a 48-letter identifier
    QTest::addColumn<int>("rows");
    // A known system and a new one answered: the transcript.
    QTest::newRow("same identification again") << items("1 ID PC;1 ID PC") << 1;
    QTest::newRow("identifying as another system releases the first") << items("1 A PCA;1 B PCB") << 2;
    // Keys that agree in their first 50 characters name one system.
    QTest::newRow("second connection of the same system drops the first") << items("1 @ ONE;2 @ TWO") << 1;
}

void TestIncomingMessages::identifications() {
    QFETCH(QStringList, steps);
    QFETCH(int, rows);
    LinkHarness link;
    QSignalSpy added(&link.tree(), &SystemTree::nodeAdded);
    QList<SimulatedClient*> clients;
    QStringList keys;
    for (const QString& step : steps) {
        if (step.section(u' ', 0, 0).toInt() > clients.size())
            clients << link.connectClient();
        SimulatedClient* client = clients.at(step.section(u' ', 0, 0).toInt() - 1);
        QVERIFY(client);
        client->clearArrivals();
        const QString identification = step.section(u' ', 1);
        client->identify(identification.section(u' ', 0, 0).replace(u'@', kLongId),
                         identification.section(u' ', 1));
        QVERIFY(LinkHarness::waitForArrivals(client, 2));
        keys << keyOf(identification);
    }
    QTRY_COMPARE(link.connections().socketIndexes(), std::vector<int>{int(clients.size())});
    QCOMPARE(link.db().scalar(QStringLiteral("SELECT count(*) FROM System_Table")).toInt(), rows);
    QCOMPARE(added.size(), rows);
    for (const QString& key : keys) {
        const TreeNode* node = link.tree().Get_Node_Index_From_Key(key);
        const bool on = key == keys.last();
        QCOMPARE(node->image, on ? NodeImage::SystemOnline : NodeImage::SystemOffline);
        QCOMPARE(node->parent, link.tree().root());
        QCOMPARE(link.connections().Find_Socket_Of_System(key) != 0, on);
    }
    QVERIFY(link.errors().isEmpty());
}

void TestIncomingMessages::statusTexts_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("IN") << QStringLiteral("IN") << QStringLiteral("Internet ON 05/01/26 03:04:09 PM");
    QTest::newRow("TF") << QStringLiteral("TF") << QStringLiteral("Timer Stopped 05/01/26 03:04:09 PM");
    QTest::newRow("unknown what") << QStringLiteral("XN") << QStringLiteral("before");
}

void TestIncomingMessages::statusTexts() {
    QFETCH(QString, code);
    QFETCH(QString, text);
    LinkHarness link;
    link.clock().set(QDateTime(QDate(2026, 1, 5), QTime(15, 4, 9)));
    SimulatedClient* client = link.connectIdentified(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(client);
    TreeNode* node = link.tree().Get_Node_Index_From_Key(keyOf(QStringLiteral("ID PC")));
    link.tree().setTag(node, QStringLiteral("before"));
    QSignalSpy changed(&link.connections(), &ConnectionManager::listItemChanged);
    client->reportStatus(code);
    QVERIFY(changed.wait(5000));
    QCOMPARE(node->tag, text);
}

void TestIncomingMessages::failureIsReportedAndConnectionStays() {
    LinkHarness link;
    QSignalSpy errors(&link.incoming(), &IncomingMessages::errorOccurred);
    link.db().exec(QStringLiteral("ALTER TABLE System_Table RENAME TO Hidden_Table"));
    SimulatedClient* client = link.connectClient();
    QVERIFY(client);
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(errors.wait(5000));
    QVERIFY(errors.at(0).at(0).toString().indexOf(QStringLiteral(": ")) > 0);
    // The database failed, so the tree shows nothing new.
    QCOMPARE(link.tree().count(), 1);
    link.db().exec(QStringLiteral("ALTER TABLE Hidden_Table RENAME TO System_Table"));
    client->identify(QStringLiteral("ID"), QStringLiteral("PC"));
    QVERIFY(LinkHarness::waitForArrivals(client, 2));
    QCOMPARE(LinkHarness::shown(client), (QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}));
}

QTEST_GUILESS_MAIN(TestIncomingMessages)
#include "tst_incomingmessages.moc"
