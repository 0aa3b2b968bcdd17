// Peers that connect and never identify, that open connections by the hundred, or that fill every slot:
// they are closed, and identified systems are answered all along.
//   KESTRAVA_FLOOD_CONNECTIONS  connections of the flood scenario (default 600)

#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/platform/OpenFileLimit.h"
#include "protocol/Fields.h"
#include "protocol/WireCodec.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>

using namespace kestrava;
using namespace std::chrono_literals;

class TestFloods : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void silentConnectionsAreClosedAfterTheTimeOut();
    void onePeerCannotTakeMoreThanItsShare();
    void fullTableClosesNewConnectionsAtOnce();
    void identifiedSystemsAreAnsweredDuringAFlood();
};

namespace {

constexpr int kWaitMs = 10000;

// A bare connection from a chosen loopback address.
std::unique_ptr<QTcpSocket> connectFrom(const QString& address, quint16 port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(address));
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

bool closedByConsole(QTcpSocket* socket) {
    return QTest::qWaitFor([&] { return socket->state() == QAbstractSocket::UnconnectedState; }, kWaitMs);
}

QByteArray identification(const QString& id) {
    return WireCodec::encodeUtf16(QStringLiteral("d") + kFieldSeparator + id + kFieldSeparator + id +
                                  kFieldSeparator + QStringLiteral("1.4") + kFieldSeparator);
}

// Whether "s" is answered.
bool answersSchedule(SimulatedClient* client) {
    client->clearArrivals();
    QSignalSpy arrived(client, &SimulatedClient::arrived);
    client->askSchedule();
    return arrived.wait(kWaitMs);
}

} // namespace

void TestFloods::initTestCase() {
    raiseOpenFileLimit();
}

void TestFloods::silentConnectionsAreClosedAfterTheTimeOut() {
    LinkHarness link;
    link.connections().setUnidentifiedTimeout(300ms);
    SimulatedClient* silent = link.connectClient();
    SimulatedClient* wrongVersion = link.connectClient();
    SimulatedClient* identified = link.connectIdentified(QStringLiteral("id"), QStringLiteral("PC"));
    QVERIFY(silent && wrongVersion && identified);
    wrongVersion->identify(QStringLiteral("old"), QStringLiteral("OLD"), QStringLiteral("1.3"));
    QVERIFY(LinkHarness::waitForArrivals(wrongVersion, 1));

    QTRY_VERIFY_WITH_TIMEOUT(!silent->isConnected() && !wrongVersion->isConnected(), kWaitMs);
    QCOMPARE(link.connections().socketIndexes().size(), std::size_t(1));
    QVERIFY(identified->isConnected());
    QVERIFY(answersSchedule(identified));
}

void TestFloods::onePeerCannotTakeMoreThanItsShare() {
    LinkHarness link;
    link.connections().setMaxUnidentifiedPerAddress(4);
    const quint16 port = link.connections().listeningPort();
    std::vector<std::unique_ptr<QTcpSocket>> held;
    QSignalSpy accepted(&link.connections(), &ConnectionManager::connectionAccepted);
    for (int i = 0; i < 4; ++i)
        held.push_back(connectFrom(QStringLiteral("127.0.0.5"), port));
    QTRY_COMPARE_WITH_TIMEOUT(accepted.size(), 4, kWaitMs);

    const auto refused = connectFrom(QStringLiteral("127.0.0.5"), port);
    QVERIFY(closedByConsole(refused.get()));
    QCOMPARE(accepted.size(), 4);

    // Another address is still served, and so is the same one once one of its connections identified.
    const auto other = connectFrom(QStringLiteral("127.0.0.6"), port);
    QTRY_COMPARE_WITH_TIMEOUT(accepted.size(), 5, kWaitMs);
    held.front()->write(identification(QStringLiteral("first")));
    QTRY_VERIFY_WITH_TIMEOUT(held.front()->bytesAvailable() > 0, kWaitMs);
    const auto next = connectFrom(QStringLiteral("127.0.0.5"), port);
    QTRY_COMPARE_WITH_TIMEOUT(accepted.size(), 6, kWaitMs);
    QVERIFY(next->state() == QAbstractSocket::ConnectedState);
}

void TestFloods::fullTableClosesNewConnectionsAtOnce() {
    LinkHarness link;
    link.connections().setMaxSocketIndex(3);
    SimulatedClient* one = link.connectIdentified(QStringLiteral("one"), QStringLiteral("ONE"));
    SimulatedClient* two = link.connectIdentified(QStringLiteral("two"), QStringLiteral("TWO"));
    SimulatedClient* silent = link.connectClient();
    QVERIFY(one && two && silent);

    const auto refused = connectFrom(QStringLiteral("127.0.0.1"), link.connections().listeningPort());
    QVERIFY(closedByConsole(refused.get()));
    QVERIFY(answersSchedule(one));
    QVERIFY(answersSchedule(two));

    // A slot that frees up is taken by the next connection.
    QSignalSpy closed(&link.connections(), &ConnectionManager::connectionClosed);
    silent->disconnectFromConsole();
    QVERIFY(closed.wait(kWaitMs));
    QVERIFY(link.connectIdentified(QStringLiteral("three"), QStringLiteral("THREE")));
}

// Hundreds of connections from a few addresses, some of them sending junk far over the arrival limit,
// while identified systems keep asking for their schedules.
void TestFloods::identifiedSystemsAreAnsweredDuringAFlood() {
    bool ok = false;
    int connections = qEnvironmentVariableIntValue("KESTRAVA_FLOOD_CONNECTIONS", &ok);
    if (!ok)
        connections = 600;
    LinkHarness link;
    link.connections().setUnidentifiedTimeout(2s);
    // The systems take turns, so that each one's spacing between two messages is over by its next turn.
    std::vector<SimulatedClient*> systems;
    for (int i = 0; i < 64; ++i)
        systems.push_back(
            link.connectIdentified(QStringLiteral("steady-%1").arg(i), QStringLiteral("STEADY")));
    QVERIFY(std::all_of(systems.begin(), systems.end(), [](SimulatedClient* s) { return s != nullptr; }));
    std::size_t turn = 0;
    int lost = 0;
    const auto askScheduleInTurn = [&] { lost += answersSchedule(systems[turn++ % systems.size()]) ? 0 : 1; };

    const quint16 port = link.connections().listeningPort();
    QSignalSpy accepted(&link.connections(), &ConnectionManager::connectionAccepted);
    std::vector<std::unique_ptr<QTcpSocket>> flood;
    std::map<QString, int> perAddress;
    const QByteArray junk(100 * 1024, 'x');
    for (int i = 0; i < connections; ++i) {
        // Half of them from one address, which is held to its share; the rest from three others.
        const QString address = QStringLiteral("127.0.1.%1").arg(i % 2 == 0 ? 1 : 2 + i % 3);
        ++perAddress[address];
        flood.push_back(connectFrom(address, port));
        QTcpSocket* socket = flood.back().get();
        if (i % 10 == 0)
            QObject::connect(socket, &QTcpSocket::connected, socket, [socket, junk] { socket->write(junk); });
        if (i % 10 == 9)
            askScheduleInTurn();
    }
    QVERIFY(QTest::qWaitFor(
        [&] {
            return std::all_of(flood.begin(), flood.end(), [](const auto& socket) {
                return socket->state() == QAbstractSocket::ConnectedState ||
                       socket->state() == QAbstractSocket::UnconnectedState;
            });
        },
        30000));
    for (int i = 0; i < 64; ++i)
        askScheduleInTurn();
    const int held = accepted.size();
    // The time-out empties the table again.
    QTRY_COMPARE_WITH_TIMEOUT(link.connections().socketIndexes().size(), systems.size(), 30000);
    for (int i = 0; i < 64; ++i)
        askScheduleInTurn();
    QCOMPARE(lost, 0);
    // Each address keeps at most its share.
    int share = 0;
    for (const auto& [address, count] : perAddress)
        share += std::min(count, ConnectionManager::kMaxUnidentifiedPerAddress);
    QCOMPARE(held, share);
    QVERIFY(link.errors().isEmpty());
}

QTEST_GUILESS_MAIN(TestFloods)
#include "tst_floods.moc"
