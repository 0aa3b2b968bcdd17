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
    // A stream that fails its TLS check ends the link (a console with another key: the network lab).
    void bytesOutsideTlsEndTheLink() {
        QTemporaryDir dir;
        const auto identity = [&dir](const QString& name) {
            return TlsIdentity::loadOrCreate(dir.filePath(name + u".key"_s), dir.filePath(name + u".crt"_s),
                                             name);
        };
        const TlsIdentity console = identity(u"console"_s);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(console.certificate);
        configuration.setPrivateKey(console.key);
        QSslServer listener;
        listener.setSslConfiguration(configuration);
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        QByteArray received;
        QPointer<QSslSocket> peer;
        connect(&listener, &QSslServer::startedEncryptionHandshake, this, [&](QSslSocket* socket) {
            peer = socket;
            connect(socket, &QSslSocket::readyRead, this,
                    [&received, socket] { received += socket->readAll(); });
        });
        ConsoleLink link(u"127.0.0.1"_s, listener.serverPort(), u"id1"_s, u"pc-1"_s);
        link.useTls(identity(u"agent"_s), kestrava::Fingerprint::of(console.certificate));
        QSignalSpy disconnected(&link, &ConsoleLink::disconnected);
        link.start();
        QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), ConsoleLink::kConnectTimeoutMs);
        const char bytes[] = "s0000";
        QCOMPARE(::send(int(peer->socketDescriptor()), bytes, sizeof bytes, MSG_NOSIGNAL),
                 ssize_t(sizeof bytes));
        QVERIFY(disconnected.wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestConsoleLink)
#include "tst_consolelink.moc"
