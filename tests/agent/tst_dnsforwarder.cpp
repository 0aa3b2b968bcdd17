#include "PrivateNetwork.h"
#include "enforce/DnsForwarder.h"
#include "enforce/Nftables.h"
#include "enforce/RulesetBuilder.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

class TestDnsForwarder : public QObject {
    Q_OBJECT

private slots:
    void upstreamResolvers_data();
    void upstreamResolvers();
    void whiteListHosts_data();
    void whiteListHosts();
    void arguments();
    void supervises();
};

void TestDnsForwarder::upstreamResolvers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("servers");
    QTest::newRow("local stub only") << u"nameserver 127.0.0.53\noptions edns0 trust-ad\n"_s << QStringList{};
    QTest::newRow("mixed")
        << u"# generated\nnameserver 10.0.0.1\nnameserver ::1\n  nameserver\t2001:db8::53 \n"
           "nameserver 10.0.0.1\nnameserver 127.0.1.1\nnameserver 0.0.0.0\nnameserver fe80::1%eth0"_s
        << QStringList{u"10.0.0.1"_s, u"2001:db8::53"_s, u"fe80::1%eth0"_s};
    QTest::newRow("not nameservers")
        << u"; nameserver 10.0.0.3\nnameservers 10.0.0.2\nnameserver dns.example"_s << QStringList{};
}

void TestDnsForwarder::upstreamResolvers() {
    QFETCH(QString, text);
    QFETCH(QStringList, servers);
    QCOMPARE(DnsForwarder::upstreamResolvers(text), servers);
}

void TestDnsForwarder::whiteListHosts_data() {
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

void TestDnsForwarder::whiteListHosts() {
    QFETCH(QString, entries);
    QFETCH(QString, hosts);
    QCOMPARE(DnsForwarder::whiteListHosts(entries.split(u'|')).join(u'|'), hosts);
}

void TestDnsForwarder::arguments() {
    DnsForwarderConfig config{
        5453, u"dnsmasq"_s, {u"10.0.0.1"_s, u"2001:db8::53"_s}, {u"Example.org/x"_s, u"bad host"_s}};
    QCOMPARE(DnsForwarder::dnsmasqArguments(config),
             (QStringList{u"--keep-in-foreground"_s, u"--conf-file=/dev/null"_s, u"--pid-file="_s,
                          u"--log-facility=-"_s, u"--no-hosts"_s, u"--no-resolv"_s, u"--cache-size=0"_s,
                          u"--bind-interfaces"_s, u"--listen-address=127.0.0.1"_s, u"--listen-address=::1"_s,
                          u"--port=5453"_s, u"--user=dnsmasq"_s, u"--server=10.0.0.1"_s,
                          u"--server=2001:db8::53"_s, u"--address=/use-application-dns.net/"_s,
                          u"--nftset=/example.org/4#inet#kestrava#allow4,6#inet#kestrava#allow6"_s}));
    config.ipv6 = false; // loopback without IPv6: dnsmasq would fail to bind ::1
    QVERIFY(!DnsForwarder::dnsmasqArguments(config).contains(u"--listen-address=::1"_s));
}

// A real dnsmasq in a namespace of the test's own. Its upstream is a second dnsmasq on 127.0.0.2 that
// knows white.test; any other query reaching the internet side goes nowhere.
void TestDnsForwarder::supervises() {
    if (QStandardPaths::findExecutable(u"dnsmasq"_s, {u"/usr/sbin"_s, u"/sbin"_s}).isEmpty())
        QSKIP("dnsmasq is not installed");
    const PrivateNetwork network;
    if (!network.reason().isEmpty())
        QSKIP(qPrintable(network.reason()));
    for (const QString& command :
         {u"addr add 127.0.0.2/8 dev lo"_s, u"link add kv0 type veth peer name kv1"_s,
          u"addr add 10.0.0.2/24 dev kv0"_s, u"link set kv0 up"_s, u"link set kv1 up"_s,
          u"route add default via 10.0.0.1"_s})
        QVERIFY2(PrivateNetwork::ip(command), qPrintable(command));
    QProcess upstream;
    upstream.start(u"dnsmasq"_s,
                   {u"-k"_s, u"-C/dev/null"_s, u"--pid-file="_s, u"--port=53"_s, u"-a127.0.0.2"_s, u"-z"_s,
                    u"--address=/white.test/203.0.113.7"_s, u"--log-facility=/dev/null"_s});

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

    // Internet off: a query to some resolver out there is redirected to the forwarder, whose own query
    // upstream is not, and the answer for the white-listed name lands in allow4.
    const RulesetInput input{true, {}, {}, {}, 8999, {}, true, forwarder.uid(), DnsForwarder::kPort, false};
    QVERIFY(Nftables::run(RulesetBuilder::ruleset(input)));
    QUdpSocket client;
    const QByteArray query =
        QByteArray::fromHex("4b56010000010000000000000377777705776869746504746573740000010001");
    const auto allowed = [&] {
        QProcess nft;
        nft.start(u"nft"_s, {u"list"_s, u"set"_s, u"inet"_s, u"kestrava"_s, u"allow4"_s});
        client.writeDatagram(query, QHostAddress(u"203.0.113.1"_s), 53);
        return nft.waitForFinished(5000) && nft.readAllStandardOutput().contains("203.0.113.7");
    };
    QTRY_VERIFY_WITH_TIMEOUT(allowed(), 10000);
    QVERIFY(client.hasPendingDatagrams()); // the answer came back through the redirect

    forwarder.stop();
    QTRY_COMPARE_WITH_TIMEOUT(down.count(), 2, 10000);
    QCOMPARE(up.count(), 2);
    upstream.kill();
    upstream.waitForFinished();
}

QTEST_GUILESS_MAIN(TestDnsForwarder)
#include "tst_dnsforwarder.moc"
