#include "agent/link/ConsoleLink.h"
#include "protocol/Identification.h"
#include "protocol/Requests.h"
#include "protocol/WireCodec.h"
#include "tls/Fingerprint.h"
#include "tls/TlsIdentity.h"

#include <QPointer>
#include <QSignalSpy>
#include <QSslServer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>

using namespace kestrava;
using agent::ConsoleLink;
using WireCodec::encodeUtf16;
using namespace Qt::StringLiterals;

class TestConsoleLink : public QObject {
    Q_OBJECT

private slots:
    // Each message reaches the console on its own, never two in one arrival.
    void oneMessagePerWrite() {
        QTcpServer console;
        QVERIFY(console.listen(QHostAddress::LocalHost));
        QList<QByteArray> arrivals;
        connect(&console, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* peer = console.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [&arrivals, peer] { arrivals << peer->readAll(); });
        });
        ConsoleLink link(u"127.0.0.1"_s, console.serverPort(), u"id1"_s, u"pc-1"_s);
        link.start();
        QTRY_VERIFY_WITH_TIMEOUT(!arrivals.isEmpty(), 5000);
        QList<QByteArray> expected{encodeUtf16(encodeIdentification({u"id1"_s, u"pc-1"_s, u"1.4"_s}))};
        for (const QString& ask : {encodeRequest(Request::Settings), encodeRequest(Request::WhiteList),
                                   encodeRequest(Request::BlockList)}) {
            link.send(ask);
            expected << encodeUtf16(ask);
        }
        QTRY_COMPARE_WITH_TIMEOUT(arrivals, expected, 5000);
    }

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
        ConsoleLink link(u"127.0.0.1"_s, 0, u"id1"_s, u"pc-1"_s);
        link.useTls(identity(u"agent"_s), listener.serverPort(), Fingerprint::of(console.certificate));
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
