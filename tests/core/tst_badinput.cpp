#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "protocol/Fields.h"
#include "protocol/WireCodec.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

// Whatever a connection sends, the console stays up, answers only what the protocol says, records
// nothing wrong and keeps the connection open.
class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void badArrivals_data();
    void badArrivals();
    void requestFloodOfIdentifiedSystemLeavesOthersServed();
};

namespace {

QString wire(const QString& text) {
    return QString(text).replace(QLatin1Char('|'), kFieldSeparator);
}

QByteArray utf16(const QString& text) {
    return WireCodec::encodeUtf16(wire(text));
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

} // namespace

void TestBadInput::badArrivals_data() {
    QTest::addColumn<QByteArray>("bytes");
    // What the bad connection must get back, in order, separators as '|'.
    QTest::addColumn<QStringList>("answers");
    // What System_Table must hold afterwards besides the good client's row.
    QTest::addColumn<QStringList>("recorded");

    const QString longId = QStringLiteral("X").repeated(60);
    QTest::newRow("odd byte count") << QByteArray("s\0o", 3) << QStringList() << QStringList();
    QTest::newRow("1 MB flood") << QByteArray(1 << 20, 'A') << QStringList() << QStringList();
    QTest::newRow("1 MB of requests")
        << utf16(QStringLiteral("s")).repeated(1 << 19) << QStringList() << QStringList();
    QTest::newRow("unknown letters") << utf16(QStringLiteral("xyz")) << QStringList() << QStringList();
    QTest::newRow("status code only") << utf16(QStringLiteral("IN")) << QStringList() << QStringList();
    QTest::newRow("name with separator")
        << utf16(QStringLiteral("d|ID|na|me|1.4|")) << QStringList{QStringLiteral("T")} << QStringList();
    QTest::newRow("only separators") << utf16(QStringLiteral("d||||||||")) << QStringList{QStringLiteral("T")}
                                     << QStringList();
    QTest::newRow("truncated identification")
        << utf16(QStringLiteral("d|ID|PC")) << QStringList{QStringLiteral("T")} << QStringList();
    QTest::newRow("name with apostrophe") << utf16(QStringLiteral("d|ID|it's mine|1.4|"))
                                          << QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}
                                          << QStringList{QStringLiteral("c|ID|it's mine| it's mine")};
    QTest::newRow("name with SQL")
        << utf16(QStringLiteral("d|ID|x'); DROP TABLE System_Table;--|1.4|"))
        << QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}
        << QStringList{QStringLiteral("c|ID|x'); DROP TABLE System_Table;-| x'); DROP TABLE System_Table;-")};
    QTest::newRow("over-long key") << utf16(QStringLiteral("d|") + longId + QStringLiteral("|PC|1.4|"))
                                   << QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}
                                   << QStringList{QStringLiteral("c|") + longId.left(48) +
                                                  QStringLiteral(" PC")};
    const QString name30 = QStringLiteral("N").repeated(30);
    QTest::newRow("over-long name") << utf16(QStringLiteral("d|ID|") + name30 + QStringLiteral("NNNNN|1.4|"))
                                    << QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}
                                    << QStringList{QStringLiteral("c|ID|") + name30 + QStringLiteral("| ") +
                                                   name30};
    QTest::newRow("characters outside Latin-1")
        << utf16(QStringLiteral("d|ID|\u4E2D\u6587|1.4|"))
        << QStringList{QStringLiteral("F|3|"), QStringLiteral("S")}
        << QStringList{QStringLiteral("c|ID|\u4E2D\u6587| \u4E2D\u6587")};
}

void TestBadInput::badArrivals() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, recorded);
    LinkHarness link;
    SimulatedClient* bad = link.connectClient();
    QVERIFY(bad);
    const int slot = link.lastSlot();
    QSignalSpy badClosed(bad, &SimulatedClient::disconnected);
    bad->sendRaw(bytes);
    if (!answers.isEmpty())
        QVERIFY(LinkHarness::waitForArrivals(bad, static_cast<int>(answers.size())));

    // The connection is still there: the console can reach it.
    link.connections().Send_Data_To_System(QString(), QStringLiteral("V"), slot);
    QVERIFY(LinkHarness::waitForArrivals(bad, static_cast<int>(answers.size()) + 1));
    QCOMPARE(LinkHarness::shown(bad), answers + QStringList{QStringLiteral("V")});
    QVERIFY(badClosed.isEmpty());

    // Once the console has read everything up to the close, nothing else came back.
    QSignalSpy closed(&link.connections(), &ConnectionManager::connectionClosed);
    bad->disconnectFromConsole();
    QVERIFY(closed.wait(20000));
    QCOMPARE(LinkHarness::shown(bad), answers + QStringList{QStringLiteral("V")});

    QVERIFY(link.connectIdentified(QStringLiteral("GOOD"), QStringLiteral("PC")));
    QCOMPARE(recordedKeys(link.db()), recorded + QStringList{QStringLiteral("c|GOOD|PC| PC")});
    QVERIFY2(link.errors().isEmpty(), qPrintable(link.errors().join(QLatin1Char('\n'))));
}

void TestBadInput::requestFloodOfIdentifiedSystemLeavesOthersServed() {
    LinkHarness link;
    SimulatedClient* flooder = link.connectIdentified(QStringLiteral("F"), QStringLiteral("FLOOD"));
    QVERIFY(flooder);
    flooder->sendRaw(utf16(QStringLiteral("s")).repeated(1 << 19));
    QVERIFY(LinkHarness::waitForArrivals(flooder, 1));
    SimulatedClient* other = link.connectIdentified(QStringLiteral("O"), QStringLiteral("OTHER"));
    QVERIFY(other);
    other->askSchedule();
    QVERIFY(LinkHarness::waitForArrivals(other, 1));
    QVERIFY(flooder->isConnected());
    const ClientConnection* connection = link.connections().connectionAt(1);
    QVERIFY(connection);
    QVERIFY(connection->queuedCount() <= ClientConnection::kMaxQueuedMessages);
    QVERIFY(link.errors().isEmpty());
}

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"
