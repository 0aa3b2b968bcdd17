#include "PrivateNetwork.h"
#include "enforce/DnsForwarder.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUdpSocket>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

class TestDnsForwarder : public QObject {
    Q_OBJECT

private slots:
    void upstreamResolvers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("servers");
        QTest::newRow("local stub only")
            << u"nameserver 127.0.0.53\noptions edns0 trust-ad\n"_s << QStringList{};
        QTest::newRow("mixed")
            << u"# generated\nnameserver 10.0.0.1\nnameserver ::1\n  nameserver\t2001:db8::53 \n"
               "nameserver 10.0.0.1\nnameserver 127.0.1.1\nnameserver 0.0.0.0\nnameserver fe80::1%eth0"_s
            << QStringList{u"10.0.0.1"_s, u"2001:db8::53"_s, u"fe80::1%eth0"_s};
        QTest::newRow("not nameservers")
            << u"; nameserver 10.0.0.3\nnameservers 10.0.0.2\nnameserver dns.example"_s << QStringList{};
    }

    void upstreamResolvers() {
        QFETCH(QString, text);
        QFETCH(QStringList, servers);
        QCOMPARE(DnsForwarder::upstreamResolvers(text), servers);
    }

    void whiteListHosts_data() {
        QTest::addColumn<QString>("entries"); // separated by "|"
        QTest::addColumn<QString>("hosts");
        QTest::newRow("paths, ports, scheme")
            << u" www.Example.ORG/path?q=1 |school.example.net:8443/x|https://Wiki.Example/"_s
            << u"www.example.org|school.example.net|wiki.example"_s;
        QTest::newRow("wildcard, final dot")
            << u"*.maps.example|news.example."_s << u"maps.example|news.example"_s;
        QTest::newRow("international") << u"b\u00fccher.example"_s << u"xn--bcher-kva.example"_s;
        QTest::newRow("duplicates") << u"Example.com|example.com/other"_s << u"example.com"_s;
        QTest::newRow("not host names") << u"|/|:80|203.0.113.5|bad host|a..b|-x.example|[2001:db8::1]|"_s +
                                               QString(64, u'a') + u".example"_s
                                        << QString();
    }

    void whiteListHosts() {
        QFETCH(QString, entries);
        QFETCH(QString, hosts);
        QCOMPARE(DnsForwarder::whiteListHosts(entries.split(u'|')).join(u'|'), hosts);
    }

    // Key arguments only: the rest is dnsmasq's own configuration.
    void arguments() {
        DnsForwarderConfig config{
            5453, u"dnsmasq"_s, {u"10.0.0.1"_s, u"2001:db8::53"_s}, {u"Example.org/x"_s, u"bad host"_s}};
        const QStringList arguments = DnsForwarder::dnsmasqArguments(config);
        for (const QString& expected :
             {u"--no-resolv"_s, u"--port=5453"_s, u"--user=dnsmasq"_s, u"--server=2001:db8::53"_s,
              u"--listen-address=::1"_s,
              u"--nftset=/example.org/4#inet#kestrava#allow4,6#inet#kestrava#allow6"_s})
            QVERIFY2(arguments.contains(expected), qPrintable(expected));
        QCOMPARE(arguments.filter(u"--nftset"_s).size(), 1);
        config.ipv6 = false; // loopback without IPv6: dnsmasq would fail to bind ::1
        QVERIFY(!DnsForwarder::dnsmasqArguments(config).contains(u"--listen-address=::1"_s));
    }

    // A real dnsmasq in a namespace of the test's own. The end-to-end test shows it resolving through the
    // rules; here, that it is restarted after an exit and on a change of its arguments only.
    void supervises() {
        if (QStandardPaths::findExecutable(u"dnsmasq"_s, {u"/usr/sbin"_s, u"/sbin"_s}).isEmpty())
            QSKIP("dnsmasq is not installed");
        const PrivateNetwork network;
        if (!network.reason().isEmpty())
            QSKIP(qPrintable(network.reason()));
        // The port is taken: dnsmasq cannot bind and exits, and the forwarder's readiness queries reach the
        // holder instead. A second launch (queries with a new id) shows the restart.
        auto holder = std::make_unique<QUdpSocket>();
        QVERIFY(holder->bind(QHostAddress::LocalHost, DnsForwarder::kPort, QUdpSocket::DontShareAddress));
        QSignalSpy queried(holder.get(), &QUdpSocket::readyRead);
        DnsForwarder forwarder;
        QSignalSpy up(&forwarder, &DnsForwarder::up);
        QSignalSpy down(&forwarder, &DnsForwarder::down);
        DnsForwarderConfig config{DnsForwarder::kPort, DnsForwarder::systemUser(), {u"127.0.0.2"_s}, {}};
        forwarder.start(config);
        QSet<QByteArray> queryIds;
        while (queryIds.size() < 2) {
            QVERIFY(queried.wait(10000));
            while (holder->hasPendingDatagrams())
                queryIds.insert(holder->receiveDatagram().data().left(2));
        }
        QVERIFY(!forwarder.isUp());
        holder.reset();
        QVERIFY(up.wait(10000)); // restarted after its exit
        QCOMPARE(forwarder.uid(), *DnsForwarder::userId(config.user));

        forwarder.start(config); // same arguments: left running
        config.whiteList = {u"white.test/lessons"_s};
        forwarder.start(config);
        QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 10000);
        QCOMPARE(down.count(), 1);

        forwarder.stop();
        QTRY_COMPARE_WITH_TIMEOUT(down.count(), 2, 10000);
        QCOMPARE(up.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TestDnsForwarder)
#include "tst_dnsforwarder.moc"
