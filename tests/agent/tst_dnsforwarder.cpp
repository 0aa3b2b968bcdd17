#include "PrivateNetwork.h"
#include "agent/enforce/DnsForwarder.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

class TestDnsForwarder : public QObject {
    Q_OBJECT

private slots:
    // resolv.conf: the servers dnsmasq forwards to (never itself or another local stub) and the search
    // domains.
    void resolvConf_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<QString>("domains");
        QTest::newRow("local stub only")
            << u"nameserver 127.0.0.53\noptions edns0 trust-ad\n"_s << QStringList{} << QString();
        QTest::newRow("mixed")
            << u"# generated\nnameserver 10.0.0.1\nnameserver ::1\n  nameserver\t2001:db8::53 \n"
               "nameserver 10.0.0.1\nnameserver 127.0.1.1\nnameserver 0.0.0.0\nnameserver fe80::1%eth0"_s
            << QStringList{u"10.0.0.1"_s, u"2001:db8::53"_s, u"fe80::1%eth0"_s} << QString();
        QTest::newRow("not nameservers")
            << u"; nameserver 10.0.0.3\nnameservers 10.0.0.2\nnameserver dns.example"_s << QStringList{}
            << QString();
        QTest::newRow("search") << u"nameserver 10.0.0.1\nsearch a.test  B.test. .\n"_s
                                << QStringList{u"10.0.0.1"_s} << u"a.test|b.test"_s;
        QTest::newRow("the last line wins")
            << u"search b.test\ndomain a.test\n# search c.test"_s << QStringList{} << u"a.test"_s;
    }

    void resolvConf() {
        QFETCH(QString, text);
        QTEST(DnsForwarder::upstreamResolvers(text), "servers");
        QTEST(DnsForwarder::searchDomains(text).join(u'|'), "domains");
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

    void reverseZones_data() {
        QTest::addColumn<QString>("networks"); // separated by "|"
        QTest::addColumn<QString>("zones");    // how many, the first and the last
        QTest::newRow("inside an octet")
            << u"172.16.0.0/12|172.17.0.0/16"_s << u"16 16.172.in-addr.arpa 31.172.in-addr.arpa"_s;
        QTest::newRow("inside a nibble") << u"fc00::/7"_s << u"2 c.f.ip6.arpa d.f.ip6.arpa"_s;
        // The fifth network would pass the limit: left out whole, and the next one still fits.
        QTest::newRow("capped")
            << u"10.0.0.0/25|10.0.1.0/25|10.0.2.0/25|10.0.3.0/26|10.0.4.0/25|10.0.5.0/26"_s
            << u"512 0.0.0.10.in-addr.arpa 63.5.0.10.in-addr.arpa"_s;
    }

    void reverseZones() {
        QFETCH(QString, networks);
        QFETCH(QString, zones);
        const QStringList all = DnsForwarder::reverseZones(*Cidr::parseList(networks.split(u'|')));
        QCOMPARE(u"%1 %2 %3"_s.arg(all.size()).arg(all.first(), all.last()), zones);
    }

    void configText_data() {
        QTest::addColumn<bool>("internetOff");
        QTest::addColumn<QString>("consoleHost");
        QTest::addColumn<QString>("servers"); // the domains of per-domain lines
        QTest::newRow("on") << false << u"console.test"_s << u"server=192.0.2.1"_s;
        QTest::newRow("off") << true << u"Console.test"_s
                             << u"example.org console.test school.test 113.0.203.in-addr.arpa"_s;
        QTest::newRow("console by address")
            << true << u"203.0.113.1"_s << u"example.org school.test 113.0.203.in-addr.arpa"_s;
    }

    void configText() {
        QFETCH(bool, internetOff);
        QFETCH(QString, consoleHost);
        QFETCH(QString, servers);
        const QStringList whiteList = {u"Example.org/x"_s};
        DnsForwarderConfig config{5453, u"dnsmasq"_s, {u"192.0.2.1"_s}, whiteList,
                                  true, internetOff,  consoleHost};
        config.localNetworks = {*Cidr::parse(u"203.0.113.0/24"_s)};
        config.searchDomains = {u"school.test"_s, u"example.org"_s};
        const QStringList lines = DnsForwarder::configText(config).split(u'\n');
        QCOMPARE(lines.filter(u"server="_s).join(u' ').remove(u"server=/"_s).remove(u"/192.0.2.1"_s),
                 servers);
        QVERIFY(lines.contains(u"address=/use-application-dns.net/"_s));
        QVERIFY(lines.contains(u"nftset=/example.org/4#inet#kestrava#allow4,6#inet#kestrava#allow6"_s));
    }

    // A real dnsmasq in a namespace of the test's own. The end-to-end tests show what it answers and that
    // its command line names nothing; here, that its configuration is root's alone and that it is restarted
    // after an exit and on a change only.
    void supervises() {
        if (QStandardPaths::findExecutable(u"dnsmasq"_s, {u"/usr/sbin"_s, u"/sbin"_s}).isEmpty())
            QSKIP("dnsmasq is not installed");
        const PrivateNetwork network;
        if (!network.reason().isEmpty())
            QSKIP(qPrintable(network.reason()));
        const QTemporaryDir directory;
        // The port is taken: dnsmasq cannot bind and exits, and the forwarder's readiness queries reach the
        // holder instead. A second launch (queries with a new id) shows the restart.
        auto holder = std::make_unique<QUdpSocket>();
        QVERIFY(holder->bind(QHostAddress::LocalHost, DnsForwarder::kPort, QUdpSocket::DontShareAddress));
        QSignalSpy queried(holder.get(), &QUdpSocket::readyRead);
        DnsForwarder forwarder;
        QSignalSpy up(&forwarder, &DnsForwarder::up);
        QSignalSpy down(&forwarder, &DnsForwarder::down);
        DnsForwarderConfig config{DnsForwarder::kPort, DnsForwarder::systemUser(), {u"127.0.0.2"_s}};
        config.whiteList = {u"white.kestrava.test/lessons"_s};
        config.internetOff = true;
        config.directory = directory.path();
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
        QCOMPARE(QFile::permissions(directory.filePath(QLatin1String(DnsForwarder::kConfigFileName))),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        forwarder.start(config); // same configuration: left running
        config.internetOff = false;
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
