#include "link/ConsoleLink.h"
#include "tls/Fingerprint.h"
#include "tls/TlsIdentity.h"

#include <QSignalSpy>
#include <QSslServer>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>

using kestrava::TlsIdentity;
using kestrava::agent::ConsoleLink;
namespace Fingerprint = kestrava::Fingerprint;
using namespace Qt::StringLiterals;

class TestConsoleLink : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TlsIdentity m_console;
    TlsIdentity m_impostor;
    TlsIdentity m_agent;

    TlsIdentity make(const QString& name) {
        return TlsIdentity::loadOrCreate(m_dir.filePath(name + u".key"_s), m_dir.filePath(name + u".crt"_s),
                                         name);
    }

private slots:
    void initTestCase() {
        m_console = make(u"console"_s);
        m_impostor = make(u"impostor"_s);
        m_agent = make(u"agent"_s);
        QVERIFY(m_console.isValid() && m_impostor.isValid() && m_agent.isValid());
    }

    void pinnedConsole_data() {
        QTest::addColumn<bool>("genuine");
        QTest::newRow("the pinned key") << true;
        QTest::newRow("another key") << false;
    }

    // Over TLS the agent presents its own certificate and sends nothing to a console it does not pin.
    void pinnedConsole() {
        QFETCH(bool, genuine);
        QSslServer listener;
        serve(listener, genuine ? m_console : m_impostor);

        QByteArray received;
        bool closed = false;
        connect(&listener, &QSslServer::startedEncryptionHandshake, this, [&](QSslSocket* peer) {
            connect(peer, &QSslSocket::readyRead, this, [&received, peer] { received += peer->readAll(); });
            connect(peer, &QObject::destroyed, this, [&closed] { closed = true; });
            connect(peer, &QSslSocket::disconnected, this, [&closed] { closed = true; });
        });
        ConsoleLink link(u"127.0.0.1"_s, listener.serverPort(), u"id1"_s, u"pc-1"_s);
        link.useTls(m_agent, Fingerprint::of(m_console.certificate));
        QSignalSpy connected(&link, &ConsoleLink::connected);
        link.start();
        if (genuine) {
            QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), ConsoleLink::kConnectTimeoutMs);
            QCOMPARE(connected.size(), 1);
            const auto* peer = qobject_cast<QSslSocket*>(listener.nextPendingConnection());
            QVERIFY(peer);
            QCOMPARE(peer->peerCertificate(), m_agent.certificate);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(closed, ConsoleLink::kConnectTimeoutMs);
            QCOMPARE(received, QByteArray());
            QCOMPARE(connected.size(), 0);
            QVERIFY(!link.isConnected());
        }
        link.stop();
    }

    // Bytes slipped into the stream outside TLS break the next record: the link ends and starts again.
    void tamperedStreamEnds() {
        QSslServer listener;
        serve(listener, m_console);
        ConsoleLink link(u"127.0.0.1"_s, listener.serverPort(), u"id1"_s, u"pc-1"_s);
        link.useTls(m_agent, Fingerprint::of(m_console.certificate));
        QSignalSpy disconnected(&link, &ConsoleLink::disconnected);
        link.start();
        QTRY_VERIFY_WITH_TIMEOUT(listener.hasPendingConnections(), ConsoleLink::kConnectTimeoutMs);
        QTcpSocket* peer = listener.nextPendingConnection();
        const char bytes[] = "s0000";
        QCOMPARE(::send(int(peer->socketDescriptor()), bytes, sizeof bytes, MSG_NOSIGNAL),
                 ssize_t(sizeof bytes));
        QVERIFY(disconnected.wait(5000));
        link.stop();
    }

private:
    static void serve(QSslServer& listener, const TlsIdentity& identity) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(identity.certificate);
        configuration.setPrivateKey(identity.key);
        configuration.setPeerVerifyMode(QSslSocket::QueryPeer);
        listener.setSslConfiguration(configuration);
        QVERIFY(listener.listen(QHostAddress::LocalHost));
    }
};

QTEST_GUILESS_MAIN(TestConsoleLink)
#include "tst_consolelink.moc"
