#include "agent/enforce/Cidr.h"
#include "agent/enforce/DnsForwarder.h"
#include "agent/enforce/LocalNetworks.h"
#include "agent/enforce/Nftables.h"
#include "agent/enforce/RulesetBuilder.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <unistd.h>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(kestrava::agent::RulesetInput)

namespace {

QString listing() {
    QProcess nft;
    nft.start(u"nft"_s, {u"list"_s, u"ruleset"_s});
    return nft.waitForFinished(10000) ? QString::fromUtf8(nft.readAllStandardOutput()) : QString();
}

// Moves the calling thread, and the programs it starts, into a new network namespace with loopback up, for
// the rest of the run: what is applied there vanishes with it, and the machine's own is never touched.
// Why that is impossible, or empty.
QString enterPrivateNetwork() {
    if (geteuid() != 0)
        return u"needs root to create a network namespace"_s;
    if (unshare(CLONE_NEWNET) != 0)
        return u"no network namespace: "_s + QString::fromLocal8Bit(strerror(errno));
    return QProcess::execute(u"ip"_s, {u"link"_s, u"set"_s, u"lo"_s, u"up"_s}) == 0 ? QString() : u"the ip program could not bring loopback up"_s;
}

} // namespace

// What the agent enforces with: the networks it reads, the nftables script it builds and applies, the DNS
// forwarder it configures and supervises. What is applied for real is applied only inside a network
// namespace of the test's own.
class TestEnforce : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("network"); // empty: refused
        const auto row = [](const char* text, const char* network) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromLatin1(network);
        };
        row(" 192.168.1.20/24 ", "192.168.1.0/24"); // host bits cleared
        row("203.0.113.5", "203.0.113.5/32");
        row("2001:db8:ffff::/33", "2001:db8:8000::/33"); // mask inside a byte
        row("010.000.000.001/8", "10.0.0.0/8");          // leading zeros are decimal
        for (const char* refused : {"10.1", "10.0.0.256", "fe80::/129", "10.0.0.0/\u0668", "fe80::1%eth0"})
            row(refused, "");
    }

    void parse() {
        QFETCH(QString, text);
        QFETCH(QString, network);
        QString error;
        const auto parsed = Cidr::parse(text, &error);
        QCOMPARE(parsed ? parsed->toString() : QString(), network);
        if (network.isEmpty())
            QVERIFY2(error.contains(u'"' + text + u'"'), qPrintable(error));
    }

    void ruleset_data() {
        // present: lines, in this order; "output_filter " and "refuse " stand for their rules. What the
        // network lab shows in force (the DNS redirect, dnsmasq's own queries, the LAN open, the DHCP ports
        // closed, the resolved addresses open for the web) is not repeated.
        QTest::addColumn<RulesetInput>("input");
        QTest::addColumn<QString>("present");
        QTest::addColumn<QStringList>("absent");

        RulesetInput off;
        off.internetOff = true;
        off.localNetworks = LocalNetworks::privateRanges() + *Cidr::parseList({u"10.1.0.0/16"_s});
        off.alwaysAllow = *Cidr::parseList({u"198.51.100.0/24"_s, u"2001:db8:5::/48"_s});
        off.whiteListAddresses = *Cidr::parseList({u"203.0.113.7"_s});
        off.consoleAddresses = {QHostAddress(u"::ffff:10.0.0.5"_s), QHostAddress(u"fe80::5%lo"_s)};
        off.consolePorts = {7001, 0, 7000, 7001};
        off.resolvers = {QHostAddress(u"10.0.0.53"_s)};
        off.controlledPorts = {443, 0, 80, 443, 70000};
        off.dnsForwarderUp = true;
        off.dnsForwarderUid = 999;
        off.dnsForwarderPort = 5453;
        QTest::newRow("off, local networks open")
            << off << uR"(add set inet kestrava allow4 { type ipv4_addr; flags timeout; timeout 12h; }
delete chain inet kestrava output_filter
add element inet kestrava local4 { 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16 }
add element inet kestrava always6 { 2001:db8:5::/48 }
add element inet kestrava listed4 { 203.0.113.7/32 }
add element inet kestrava console4 { 10.0.0.5 }
add element inet kestrava console6 { fe80::5 }
add element inet kestrava resolvers4 { 10.0.0.53 }
add element inet kestrava ports { 80, 443 }
refuse meta l4proto tcp reject with tcp reset
refuse reject with icmpx type admin-prohibited
output_filter ip daddr @console4 tcp dport { 7000, 7001 } accept
output_filter ip daddr @always4 accept
output_filter ip daddr 255.255.255.255 udp sport 68 udp dport 67 accept
output_filter ip daddr @local4 udp sport 68 udp dport 67 accept
output_filter ip6 daddr ff02::1:2 udp sport 546 udp dport 547 accept
output_filter ip daddr @listed4 meta l4proto . th dport { tcp . 80, tcp . 443, udp . 443 } accept
output_filter ip6 daddr @local6 meta l4proto { tcp, udp } th dport @ports goto refuse)"_s
            << QStringList{u"flush set inet kestrava allow4"_s, u"ct state"_s, u"@resolvers4"_s,
                           u"@allow4 accept"_s, u"@listed4 accept"_s};

        RulesetInput servers = off;
        servers.localAccess = LocalAccess::Servers;
        servers.dnsForwarderUp = false;
        QTest::newRow("off, servers only, no forwarder")
            << servers
            << u"output_filter icmpv6 type { nd-router-solicit, nd-neighbor-solicit, nd-neighbor-advert, "
               "mld-listener-report, mld2-listener-report } accept\n"
               "output_filter ip daddr @resolvers4 ip daddr @local4 meta l4proto { tcp, udp } th dport 53 "
               "accept\n"
               "output_filter goto refuse"_s
            << QStringList{u"skuid"_s,     u"redirect to"_s, u"@local4 accept"_s, u"@local6 accept"_s,
                           u"224.0.0.0"_s, u"ff02::/16"_s,   u"@ports"_s};

        RulesetInput on = off;
        on.internetOff = false;
        on.flushDnsSets = true; // the white list was replaced
        QTest::newRow("on")
            << on
            << u"flush set inet kestrava allow4\nflush set inet kestrava allow6\n"
               "add rule inet kestrava dns_redirect meta l4proto { tcp, udp } th dport 53 redirect to :5453"_s
            << QStringList{u"add rule inet kestrava output_filter"_s, u"add rule inet kestrava refuse"_s};
    }

    void ruleset() {
        QFETCH(RulesetInput, input);
        QFETCH(QString, present);
        QFETCH(QStringList, absent);
        const QString script = RulesetBuilder::ruleset(input);
        qsizetype from = 0;
        for (QString line : present.split(u'\n')) {
            if (line.startsWith(u"output_filter "_s) || line.startsWith(u"refuse "_s))
                line.prepend(u"add rule inet kestrava "_s);
            from = script.indexOf(line + u'\n', from);
            QVERIFY2(from >= 0, qPrintable(u"missing or out of order: "_s + line + u'\n' + script));
        }
        for (const QString& text : absent)
            QVERIFY2(!script.contains(text), qPrintable(u"unexpected: "_s + text + u'\n' + script));
    }

    // Applies rules for real, so only inside a network namespace of the test's own.
    void replacesTheTableKeepingDnsAnswers() {
        if (const QString failed = enterPrivateNetwork(); !failed.isEmpty())
            QSKIP(qPrintable(failed));
        RulesetInput input;
        input.internetOff = true;
        input.localNetworks = LocalNetworks::privateRanges();
        input.consolePorts = {8999};
        input.controlledPorts = {3128};
        input.dnsForwarderUp = true;
        input.dnsForwarderUid = 999;
        input.dnsForwarderPort = 5453;
        QString error;
        QVERIFY(!Nftables::check(u"add rule inet kestrava output_filter ip daddr 10.0.0.300 drop"_s, &error));
        QVERIFY2(error.contains(u"10.0.0.300"_s), qPrintable(error));
        QVERIFY(Nftables::check(RulesetBuilder::ruleset(input)));
        QCOMPARE(listing(), QString()); // a check changes nothing
        QVERIFY2(Nftables::run(RulesetBuilder::ruleset(input), &error), qPrintable(error));
        // What the agent compares to find a table changed by hand: DNS answers are no change.
        const std::optional<QString> applied = Nftables::listTable(u"inet kestrava"_s);
        QVERIFY(applied && applied->contains(u"output_filter"_s));
        QVERIFY(Nftables::run(u"add element inet kestrava allow4 { 203.0.113.9 }"_s));
        QCOMPARE(Nftables::listTable(u"inet kestrava"_s), applied);
        // Replaced (the lab shows the new rules in force): the answers stay.
        input.internetOff = false;
        QVERIFY(Nftables::run(RulesetBuilder::ruleset(input)));
        QVERIFY2(listing().contains(u"203.0.113.9"_s), qPrintable(listing()));
        input.flushDnsSets = true;
        QVERIFY(Nftables::run(RulesetBuilder::ruleset(input)));
        QVERIFY(!listing().contains(u"203.0.113.9"_s));

        QVERIFY(Nftables::run(RulesetBuilder::removal()));
        QVERIFY(Nftables::run(RulesetBuilder::removal())); // already gone: no error
        QCOMPARE(listing(), QString());
        QCOMPARE(Nftables::listTable(u"inet kestrava"_s), std::nullopt);
    }

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

    // A real dnsmasq in a namespace of the test's own. The end-to-end tests show what it answers and that
    // its command line names nothing; here, that its configuration is root's alone and that it is restarted
    // after an exit and on a change only.
    void supervises() {
        if (QStandardPaths::findExecutable(u"dnsmasq"_s, {u"/usr/sbin"_s, u"/sbin"_s}).isEmpty())
            QSKIP("dnsmasq is not installed");
        if (const QString failed = enterPrivateNetwork(); !failed.isEmpty())
            QSKIP(qPrintable(failed));
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

QTEST_GUILESS_MAIN(TestEnforce)
#include "tst_enforce.moc"
