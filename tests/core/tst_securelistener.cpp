#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "core/link/KeyPins.h"
#include "core/link/SecureListener.h"
#include "protocol/Identification.h"
#include "protocol/WireCodec.h"
#include "tls/Fingerprint.h"
#include "tls/TlsContext.h"
#include "tls/TlsIdentity.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>

using namespace Qt::StringLiterals;
using namespace kestrava;

namespace {

constexpr int kWaitMs = 5000;
// A client on the plain port, or on the authenticated one with key A or B.
enum class Peer { Plain, KeyA, KeyB };
// Both ports listen on every address, IPv6 included, so a loopback peer shows in its mapped form.
const QHostAddress kLoopbackPeer(u"::ffff:127.0.0.1"_s);

// The harness's plain port and an authenticated one with the console's own key, both on free ports.
struct SecureLink {
    explicit SecureLink(const TlsIdentity& console)
        : secure(link.connections()) {
        secure.setIdentity(console);
        if (!secure.listen(0))
            qFatal("cannot listen: %s", qPrintable(secure.listenError()));
    }
    LinkHarness link;
    SecureListener secure;
    std::vector<std::unique_ptr<SimulatedClient>> clients;
};

} // namespace

class TestSecureListener : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondIdentification_data();
    void secondIdentification();
    void hostileArrivals_data();
    void hostileArrivals();
    void resumptionKeepsThePin_data();
    void resumptionKeepsThePin();
    void plainTextAfterTheHandshake();
    void stallsHoldOnlyTheirAddress();

private:
    SimulatedClient* connectAs(SecureLink& fixture, Peer peer, const QByteArray& sessionTicket = {});

    QTemporaryDir m_dir;
    // By Peer; the plain peer's place holds the console's own key.
    TlsIdentity m_keys[3];
    std::shared_ptr<const TlsContext> m_clientContexts[3];
};

void TestSecureListener::initTestCase() {
    const QString names[] = {u"console"_s, u"a"_s, u"b"_s};
    for (int i = 0; i < 3; ++i) {
        m_keys[i] = TlsIdentity::loadOrCreate(m_dir.filePath(names[i] + u".key"_s),
                                              m_dir.filePath(names[i] + u".crt"_s), names[i]);
        QVERIFY(m_keys[i].isValid());
        m_clientContexts[i] = std::make_shared<TlsContext>(TlsContext::Side::Client, m_keys[i]);
    }
}

SimulatedClient* TestSecureListener::connectAs(SecureLink& fixture, Peer peer,
                                               const QByteArray& sessionTicket) {
    auto client = std::make_unique<SimulatedClient>();
    if (peer != Peer::Plain)
        client->useTls(m_clientContexts[int(peer)], sessionTicket);
    QSignalSpy accepted(&fixture.link.connections(), &ConnectionManager::connectionAccepted);
    client->connectTo(u"127.0.0.1"_s, peer == Peer::Plain ? fixture.link.connections().listeningPort()
                                                          : fixture.secure.listeningPort());
    if (!QTest::qWaitFor([&] { return client->isConnected() && accepted.size() > 0; }, kWaitMs))
        return nullptr;
    fixture.clients.push_back(std::move(client));
    return fixture.clients.back().get();
}

void TestSecureListener::secondIdentification_data() {
    QTest::addColumn<Peer>("first");
    QTest::addColumn<Peer>("second");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("pinned, same key") << Peer::KeyA << Peer::KeyA << true;
    QTest::newRow("pinned, other key") << Peer::KeyA << Peer::KeyB << false;
    QTest::newRow("pinned, plain port") << Peer::KeyA << Peer::Plain << false;
    QTest::newRow("unpinned, now with a key") << Peer::Plain << Peer::KeyB << true;
}

void TestSecureListener::secondIdentification() {
    QFETCH(Peer, first);
    QFETCH(Peer, second);
    QFETCH(bool, accepted);
    SecureLink fixture(m_keys[0]);
    const QString key = Keys::Make_System_Key(u"0A-11"_s, u"LAB-01"_s);
    QSignalSpy refusals(&fixture.link.incoming(), &IncomingMessages::identificationRefused);

    SimulatedClient* genuine = connectAs(fixture, first);
    QVERIFY(genuine);
    genuine->identify(u"0A-11"_s, u"LAB-01"_s);
    QVERIFY(LinkHarness::waitForArrivals(genuine, 2));
    const int genuineSlot = fixture.link.connections().Find_Socket_Of_System(key);

    SimulatedClient* other = connectAs(fixture, second);
    QVERIFY(other);
    QSignalSpy closed(other, &SimulatedClient::disconnected);
    other->identify(u"0A-11"_s, u"LAB-01"_s);
    if (accepted) {
        QVERIFY(LinkHarness::waitForArrivals(other, 2));
        QVERIFY(fixture.link.connections().Find_Socket_Of_System(key) != genuineSlot);
    } else {
        QVERIFY(closed.wait(kWaitMs));
        QCOMPARE(refusals.size(), 1);
        QVERIFY(other->arrivals().isEmpty());
        // The genuine computer keeps its connection.
        QCOMPARE(fixture.link.connections().Find_Socket_Of_System(key), genuineSlot);
    }
    // The accepted peer's key is pinned.
    const Peer pinnedAfter = accepted ? second : first;
    const QByteArray expected =
        pinnedAfter == Peer::Plain ? QByteArray() : Fingerprint::of(m_keys[int(pinnedAfter)].certificate);
    QCOMPARE(KeyPins(fixture.link.db()).pinOf(key), expected);
}

// Peers that never complete an authenticated handshake are closed before they take a slot; handshakes
// count against their address's share.
void TestSecureListener::hostileArrivals_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("reason");
    QTest::newRow("plain text") << u"plain"_s << QString();
    QTest::newRow("no certificate") << u"no certificate"_s << u"no certificate"_s;
    QTest::newRow("stall") << u"stall"_s << u"no handshake"_s;
    QTest::newRow("one over the address's share") << u"crowd"_s << u"too many"_s;
}

void TestSecureListener::hostileArrivals() {
    QFETCH(QString, what);
    QFETCH(QString, reason);
    SecureLink fixture(m_keys[0]);
    fixture.secure.setHandshakeTimeout(std::chrono::milliseconds(what == u"crowd"_s ? kWaitMs * 2 : 300));
    fixture.link.connections().setMaxUnidentifiedPerAddress(1);
    QSignalSpy refused(&fixture.secure, &SecureListener::refused);
    QSignalSpy accepted(&fixture.link.connections(), &ConnectionManager::connectionAccepted);
    QTcpSocket stalled;
    if (what == u"crowd"_s) {
        stalled.connectToHost(u"127.0.0.1"_s, fixture.secure.listeningPort());
        QTRY_COMPARE_WITH_TIMEOUT(fixture.secure.handshakingFrom(kLoopbackPeer), 1, kWaitMs);
    }
    QSslSocket socket;
    if (what == u"no certificate"_s) {
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted(u"127.0.0.1"_s, fixture.secure.listeningPort());
    } else {
        socket.connectToHost(u"127.0.0.1"_s, fixture.secure.listeningPort());
        if (what == u"plain"_s) {
            QVERIFY(socket.waitForConnected(kWaitMs));
            socket.write(WireCodec::encodeUtf16(encodeIdentification({u"1"_s, u"PC"_s, u"1.4"_s})));
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, kWaitMs);
    QVERIFY(refused.first().first().toString().contains(reason));
    QCOMPARE(accepted.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, kWaitMs);
    QCOMPARE(fixture.secure.handshakingFrom(kLoopbackPeer), what == u"crowd"_s ? 1 : 0);
}

void TestSecureListener::resumptionKeepsThePin_data() {
    QTest::addColumn<Peer>("pinned");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("pinned to the ticket's key") << Peer::KeyA << true;
    QTest::newRow("pinned to another key") << Peer::KeyB << false;
}

// A resumed session proves the certificate of the handshake that issued its ticket, whatever
// certificate the resuming client holds now.
void TestSecureListener::resumptionKeepsThePin() {
    QFETCH(Peer, pinned);
    QFETCH(bool, accepted);
    SecureLink fixture(m_keys[0]);
    QSignalSpy refusals(&fixture.link.incoming(), &IncomingMessages::identificationRefused);
    SimulatedClient* genuine = connectAs(fixture, pinned);
    QVERIFY(genuine);
    genuine->identify(u"0A-11"_s, u"LAB-01"_s);
    QVERIFY(LinkHarness::waitForArrivals(genuine, 2));
    SimulatedClient* holder = connectAs(fixture, Peer::KeyA);
    QVERIFY(holder);
    holder->identify(u"0A-12"_s, u"LAB-02"_s);
    QVERIFY(LinkHarness::waitForArrivals(holder, 2));
    const QByteArray ticket = holder->sessionTicket();
    QVERIFY(!ticket.isEmpty());

    SimulatedClient* resumed = connectAs(fixture, Peer::KeyB, ticket);
    QVERIFY(resumed);
    QCOMPARE(fixture.secure.handshakesResumed(), 1u);
    QVERIFY(resumed->resumedSession() && !holder->resumedSession());
    QSignalSpy closed(resumed, &SimulatedClient::disconnected);
    resumed->identify(u"0A-11"_s, u"LAB-01"_s);
    if (accepted) {
        QVERIFY(LinkHarness::waitForArrivals(resumed, 2));
    } else {
        QVERIFY(closed.wait(kWaitMs));
        QCOMPARE(refusals.size(), 1);
    }
}

// Bytes outside TLS once the handshake is done close that connection alone, with one line.
void TestSecureListener::plainTextAfterTheHandshake() {
    SecureLink fixture(m_keys[0]);
    SimulatedClient* other = connectAs(fixture, Peer::KeyB);
    QVERIFY(other);
    QSignalSpy accepted(&fixture.link.connections(), &ConnectionManager::connectionAccepted);
    QSignalSpy closed(&fixture.link.connections(), &ConnectionManager::connectionClosed);
    QSslSocket socket;
    socket.setLocalCertificate(m_keys[int(Peer::KeyA)].certificate);
    socket.setPrivateKey(m_keys[int(Peer::KeyA)].key);
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.connectToHostEncrypted(u"127.0.0.1"_s, fixture.secure.listeningPort());
    QTRY_COMPARE_WITH_TIMEOUT(accepted.size(), 1, kWaitMs);
    QTest::ignoreMessage(
        QtWarningMsg,
        QRegularExpression(u"^kestrava: authenticated port: connection from 127.0.0.1 closed: "_s));
    const char text[] = "s0000";
    QCOMPARE(::send(int(socket.socketDescriptor()), text, sizeof text, MSG_NOSIGNAL), ssize_t(sizeof text));
    QVERIFY(closed.wait(kWaitMs));
    QCOMPARE(closed.size(), 1);
    QVERIFY(other->isConnected());
}

// Connections of one address that stall take its own share of the handshakes only.
void TestSecureListener::stallsHoldOnlyTheirAddress() {
    SecureLink fixture(m_keys[0]);
    fixture.secure.setHandshakeTimeout(std::chrono::milliseconds(kWaitMs * 3));
    const int count = SecureListener::kMaxHandshakes + 1;
    std::vector<std::unique_ptr<QTcpSocket>> stalled;
    for (int i = 0; i < count; ++i) {
        stalled.push_back(std::make_unique<QTcpSocket>());
        QVERIFY(stalled.back()->bind(QHostAddress(u"127.0.0.2"_s)));
        stalled.back()->connectToHost(u"127.0.0.1"_s, fixture.secure.listeningPort());
    }
    QTRY_COMPARE_WITH_TIMEOUT(fixture.secure.handshakingFrom(QHostAddress(u"::ffff:127.0.0.2"_s)), count,
                              kWaitMs);
    QVERIFY(connectAs(fixture, Peer::KeyA));
}

QTEST_MAIN(TestSecureListener)
#include "tst_securelistener.moc"
