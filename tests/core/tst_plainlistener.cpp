// Hostile arrivals on the plain port: whatever peers send and however many of them come, the console
// stays up, records nothing wrong, keeps each address to its share of the table and answers the
// identified systems all along.
#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/platform/OpenFileLimit.h"
#include "protocol/Fields.h"
#include "protocol/WireCodec.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace kestrava;
using namespace std::chrono_literals;

class TestPlainListener : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { raiseOpenFileLimit(); }
    void arrivals_data();
    void arrivals();
};

namespace {

constexpr int kWaitMs = 30000;

QByteArray utf16(const QString& text) {
    return WireCodec::encodeUtf16(QString(text).replace(QLatin1Char('|'), kFieldSeparator));
}

QStringList recordedKeys(Database& db) {
    QStringList keys;
    QSqlQuery query =
        db.exec(QStringLiteral("SELECT System_Key, System_Name FROM System_Table ORDER BY System_ID"));
    while (query.next())
        keys << QString(query.value(0).toString()).replace(kFieldSeparator, QLatin1Char('|')) +
                    QStringLiteral(" ") + query.value(1).toString();
    return keys;
}

bool answersSchedule(SimulatedClient* client) {
    client->clearArrivals();
    client->askSchedule();
    return LinkHarness::waitForArrivals(client, 1);
}

} // namespace

void TestPlainListener::arrivals_data() {
    QTest::addColumn<QByteArray>("bytes");     // what each peer sends once connected
    QTest::addColumn<QByteArray>("then");      // and once it is answered
    QTest::addColumn<int>("peers");            // how many connect, from three addresses in turn
    QTest::addColumn<int>("maxSlot");          // the table's size; 0 as shipped
    QTest::addColumn<int>("held");             // how many the console accepts
    QTest::addColumn<QStringList>("answers");  // what the first peer gets first, separators as '|'
    QTest::addColumn<QStringList>("recorded"); // what System_Table gains
    const auto row = [](const char* name, const QByteArray& bytes, const QStringList& answers = {},
                        const QStringList& recorded = {}, const QByteArray& then = {}) {
        QTest::newRow(name) << bytes << then << 1 << 0 << 1 << answers << recorded;
    };
    // Junk, cut identifications and wrong versions are the inbound fuzz target's and the splitter's; here
    // what only whole arrivals on a real socket show, and the stored forms.
    const QStringList identified{QStringLiteral("F|3|"), QStringLiteral("S")};
    row("1 MB flood", QByteArray(1 << 20, 'A'));
    // Handed over once the wait for its end is over.
    row("truncated identification", utf16(QStringLiteral("d|ID|PC")), {QStringLiteral("T")});
    row("name with SQL", utf16(QStringLiteral("d|ID|x'); DROP TABLE System_Table;--|1.4|")), identified,
        {QStringLiteral("c|ID|x'); DROP TABLE System_Table;-| x'); DROP TABLE System_Table;-")});
    const QString longId = QStringLiteral("X").repeated(60);
    row("over-long key", utf16(QStringLiteral("d|") + longId + QStringLiteral("|PC|1.4|")), identified,
        {QStringLiteral("c|") + longId.left(48) + QStringLiteral(" PC")});
    const QString name30 = QStringLiteral("N").repeated(30);
    row("over-long name", utf16(QStringLiteral("d|ID|") + name30 + QStringLiteral("NNNNN|1.4|")), identified,
        {QStringLiteral("c|ID|") + name30 + QStringLiteral("| ") + name30});
    row("characters outside Latin-1", utf16(QStringLiteral("d|ID|\u4E2D\u6587|1.4|")), identified,
        {QStringLiteral("c|ID|\u4E2D\u6587| \u4E2D\u6587")});
    row("identified, then 1 MB of requests", utf16(QStringLiteral("d|ID|PC|1.4|")), identified,
        {QStringLiteral("c|ID|PC| PC")}, utf16(QStringLiteral("s")).repeated(1 << 19));
    // Crowds: each address keeps its share of unidentified connections, and a full table refuses at once.
    const int share = ConnectionManager::kMaxUnidentifiedPerAddress;
    QTest::newRow("silent crowd, one over the share of each address")
        << QByteArray() << QByteArray() << 3 * (share + 1) << 0 << 3 * share << QStringList()
        << QStringList();
    QTest::newRow("full table") << QByteArray() << QByteArray() << 3 << 3 << 2 << QStringList()
                                << QStringList();
}

void TestPlainListener::arrivals() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, then);
    QFETCH(int, peers);
    QFETCH(int, maxSlot);
    QFETCH(int, held);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, recorded);
    LinkHarness link;
    ConnectionManager& connections = link.connections();
    connections.setUnidentifiedTimeout(2s);
    if (maxSlot > 0)
        connections.setMaxSocketIndex(maxSlot);
    SimulatedClient* good = link.connectIdentified(QStringLiteral("GOOD"), QStringLiteral("PC"));
    QVERIFY(good);
    QSignalSpy accepted(&connections, &ConnectionManager::connectionAccepted);
    QSignalSpy closedByConsole(&connections, &ConnectionManager::connectionClosed);
    std::vector<std::unique_ptr<SimulatedClient>> crowd;
    int closed = 0;
    for (int i = 0; i < peers; ++i) {
        SimulatedClient* peer = crowd.emplace_back(std::make_unique<SimulatedClient>()).get();
        QVERIFY(peer->bindTo(QHostAddress(QStringLiteral("127.0.1.%1").arg(1 + i % 3))));
        connect(peer, &SimulatedClient::connected, peer, [peer, bytes] { peer->sendRaw(bytes); });
        connect(peer, &SimulatedClient::arrived, peer, [peer, then] {
            if (peer->arrivals().size() == 1)
                peer->sendRaw(then);
        });
        connect(peer, &SimulatedClient::disconnected, this, [&closed] { ++closed; });
        peer->connectTo(QStringLiteral("127.0.0.1"), connections.listeningPort());
        if (i % 50 == 49)
            QVERIFY(answersSchedule(good));
    }
    // Refused peers are closed at once; an accepted peer that the console closed since counts once, as
    // accepted (on a loaded machine the crowd can take longer than the time-out to arrive).
    QTRY_VERIFY_WITH_TIMEOUT(accepted.size() + closed - closedByConsole.size() >= peers, kWaitMs);
    QCOMPARE(accepted.size(), held);
    QVERIFY(answersSchedule(good));
    SimulatedClient* first = crowd.front().get();
    QVERIFY(LinkHarness::waitForArrivals(first, int(answers.size())));
    QCOMPARE(LinkHarness::shown(first).mid(0, answers.size()), answers);
    if (peers == 1 && then.isEmpty()) {
        // The console can still reach it.
        connections.Send_Data_To_System(QString(), QStringLiteral("V"), 2);
        QTRY_COMPARE(first->lastArrival(), QStringLiteral("V"));
    }
    // The time-out closes every unidentified peer; the slots are free again.
    QTRY_COMPARE_WITH_TIMEOUT(connections.socketIndexes().size(), std::size_t(1 + recorded.size()), kWaitMs);
    QVERIFY(link.connectIdentified(QStringLiteral("LATE"), QStringLiteral("PC")));
    QCOMPARE(recordedKeys(link.db()), QStringList{QStringLiteral("c|GOOD|PC| PC")} + recorded +
                                          QStringList{QStringLiteral("c|LATE|PC| PC")});
    QVERIFY2(link.errors().isEmpty(), qPrintable(link.errors().join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestPlainListener)
#include "tst_plainlistener.moc"
