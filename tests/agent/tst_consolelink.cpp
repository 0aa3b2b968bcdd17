#include "link/ConsoleLink.h"
#include "tls/Fingerprint.h"
#include "tls/TlsIdentity.h"

#include <QPointer>
#include <QSignalSpy>
#include <QSslServer>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>

using kestrava::TlsIdentity;
using kestrava::agent::ConsoleLink;
using namespace Qt::StringLiterals;

class TestConsoleLink : public QObject {
    Q_OBJECT

private slots:
    void pinnedConsole_data() {
        QTest::addColumn<bool>("genuine");
        QTest::newRow("another key") << false;
        QTest::newRow("the pinned key, then bytes outside TLS") << true;
    }

    // Nothing is sent to a console that does not hold the pinned key; a stream that fails its TLS
    // check ends the link.
    void pinnedConsole() {
        QFETCH(bool, genuine);
        QTemporaryDir dir;
        const auto identity = [&dir](const QString& name) {
            return TlsIdentity::loadOrCreate(dir.filePath(name + u".key"_s), dir.filePath(name + u".crt"_s),
                                             name);
        };
        const TlsIdentity console = identity(u"console"_s);
        const TlsIdentity server = genuine ? console : identity(u"impostor"_s);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(server.certificate);
        configuration.setPrivateKey(server.key);
        QSslServer listener;
        listener.setSslConfiguration(configuration);
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        QByteArray received;
        QPointer<QSslSocket> peer;
        bool started = false;
        connect(&listener, &QSslServer::startedEncryptionHandshake, this, [&](QSslSocket* socket) {
            peer = socket;
            started = true;
            connect(socket, &QSslSocket::readyRead, this,
                    [&received, socket] { received += socket->readAll(); });
        });
        ConsoleLink link(u"127.0.0.1"_s, listener.serverPort(), u"id1"_s, u"pc-1"_s);
        link.useTls(identity(u"agent"_s), kestrava::Fingerprint::of(console.certificate));
        QSignalSpy disconnected(&link, &ConsoleLink::disconnected);
        link.start();
        if (!genuine) {
            QTRY_VERIFY_WITH_TIMEOUT(started && (!peer || peer->state() == QAbstractSocket::UnconnectedState),
                                     ConsoleLink::kConnectTimeoutMs);
            QCOMPARE(received, QByteArray());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), ConsoleLink::kConnectTimeoutMs);
        const char bytes[] = "s0000";
        QCOMPARE(::send(int(peer->socketDescriptor()), bytes, sizeof bytes, MSG_NOSIGNAL),
                 ssize_t(sizeof bytes));
        QVERIFY(disconnected.wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestConsoleLink)
#include "tst_consolelink.moc"
