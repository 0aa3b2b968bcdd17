#include "agent/link/ConsoleLink.h"
#include "protocol/Identification.h"
#include "protocol/Requests.h"
#include "protocol/WireCodec.h"

#include <QTcpServer>
#include <QTest>

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

};

QTEST_GUILESS_MAIN(TestConsoleLink)
#include "tst_consolelink.moc"
