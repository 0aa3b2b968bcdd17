#include "agent/enforce/LocalNetworks.h"
#include "agent/enforce/RulesetBuilder.h"

#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(kestrava::agent::RulesetInput)

class TestRulesetBuilder : public QObject {
    Q_OBJECT

private slots:
    void ruleset_data() {
        // present: lines, in this order; "output_filter " and "refuse " stand for their rules. What the
        // network lab shows in force (the DNS redirect, dnsmasq's own queries, the LAN open) is not repeated.
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
output_filter meta l4proto { tcp, udp } th dport { 67, 68, 546, 547 } goto refuse
output_filter ip6 daddr @allow6 meta l4proto . th dport { tcp . 80, tcp . 443, udp . 443 } accept
output_filter ip daddr @listed4 meta l4proto . th dport { tcp . 80, tcp . 443, udp . 443 } accept
output_filter ip6 daddr @local6 meta l4proto { tcp, udp } th dport @ports goto refuse
output_filter ip daddr @local4 accept)"_s
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
        RulesetInput nothing;
        nothing.internetOff = true;
        nothing.localAccess = LocalAccess::Servers;
        QTest::newRow("nothing configured")
            << nothing << u"output_filter goto refuse"_s << QStringList{u"add element"_s, u"@console4"_s};
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
};

QTEST_GUILESS_MAIN(TestRulesetBuilder)
#include "tst_rulesetbuilder.moc"
