#include "PrivateNetwork.h"
#include "enforce/LocalNetworks.h"
#include "enforce/RulesetBuilder.h"

#include <QStandardPaths>
#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(kestrava::agent::RulesetInput)

class TestRulesetBuilder : public QObject {
    Q_OBJECT

private slots:
    void ruleset_data() {
        QTest::addColumn<RulesetInput>("input");
        QTest::addColumn<QString>("present"); // lines, in this order; "output_filter " stands for its rules
        QTest::addColumn<QStringList>("absent");

        RulesetInput off;
        off.internetOff = true;
        off.localNetworks = LocalNetworks::privateRanges() + *Cidr::parseList({u"10.1.0.0/16"_s});
        off.alwaysAllow = *Cidr::parseList({u"198.51.100.0/24"_s, u"2001:db8:5::/48"_s});
        off.consoleAddresses = {QHostAddress(u"::ffff:10.0.0.5"_s), QHostAddress(u"fe80::5%lo"_s)};
        off.consolePort = 7000;
        off.controlledPorts = {443, 0, 80, 443, 70000};
        off.dnsForwarderUp = true;
        off.dnsForwarderUid = 999;
        off.dnsForwarderPort = 5453;
        QTest::newRow("off")
            << off << uR"(add set inet kestrava allow4 { type ipv4_addr; flags timeout; timeout 12h; }
delete chain inet kestrava output_filter
add element inet kestrava local4 { 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16 }
add element inet kestrava always6 { 2001:db8:5::/48 }
add element inet kestrava console4 { 10.0.0.5 }
add element inet kestrava console6 { fe80::5 }
add element inet kestrava ports { 80, 443 }
add rule inet kestrava dns_redirect meta skuid 999 return
add rule inet kestrava dns_redirect meta l4proto { tcp, udp } th dport 53 redirect to :5453
output_filter ip daddr @console4 tcp dport 7000 accept
output_filter meta skuid 999 meta l4proto { tcp, udp } th dport 53 accept
output_filter meta nfproto ipv4 udp dport { 67, 68 } accept
output_filter ip6 daddr @allow6 accept
output_filter ip daddr @local4 tcp dport @ports reject with tcp reset
output_filter ip daddr @local4 accept
output_filter reject with icmpx type admin-prohibited)"_s
            << QStringList{u"flush set inet kestrava allow4"_s, u"ct state"_s};

        RulesetInput on = off;
        on.internetOff = false;
        on.flushDnsSets = true; // the white list was replaced
        QTest::newRow("on")
            << on
            << u"flush set inet kestrava allow4\nflush set inet kestrava allow6\n"
               "add rule inet kestrava dns_redirect meta l4proto { tcp, udp } th dport 53 redirect to :5453"_s
            << QStringList{u"add rule inet kestrava output_filter"_s};
        RulesetInput withoutForwarder = off;
        withoutForwarder.dnsForwarderUp = false;
        QTest::newRow("off, no forwarder") << withoutForwarder << u"output_filter ip daddr @allow4 accept"_s
                                           << QStringList{u"skuid"_s, u"redirect to"_s};
        RulesetInput nothing;
        nothing.internetOff = true;
        QTest::newRow("nothing configured")
            << nothing << u"output_filter meta l4proto tcp reject with tcp reset"_s
            << QStringList{u"add element"_s};
    }

    void ruleset() {
        QFETCH(RulesetInput, input);
        QFETCH(QString, present);
        QFETCH(QStringList, absent);
        const QString script = RulesetBuilder::ruleset(input);
        qsizetype from = 0;
        for (QString line : present.split(u'\n')) {
            if (line.startsWith(u"output_filter "_s))
                line.prepend(u"add rule inet kestrava "_s);
            from = script.indexOf(line + u'\n', from);
            QVERIFY2(from >= 0, qPrintable(u"missing or out of order: "_s + line + u'\n' + script));
        }
        for (const QString& text : absent)
            QVERIFY2(!script.contains(text), qPrintable(u"unexpected: "_s + text + u'\n' + script));
    }

    void acceptedByNft_data() { ruleset_data(); }
    // The kernel's own validation, in check mode and in a namespace of the test's own.
    void acceptedByNft() {
        QFETCH(RulesetInput, input);
        const QString nft = QStandardPaths::findExecutable(u"nft"_s, {u"/usr/sbin"_s, u"/sbin"_s});
        if (nft.isEmpty())
            QSKIP("nft is not installed");
        const PrivateNetwork network;
        if (!network.reason().isEmpty())
            QSKIP(qPrintable(network.reason()));
        for (const QString& script : {RulesetBuilder::ruleset(input), RulesetBuilder::removal()}) {
            QProcess check;
            check.start(nft, {u"-c"_s, u"-f"_s, u"-"_s});
            check.write(script.toUtf8());
            check.closeWriteChannel();
            QVERIFY(check.waitForFinished(10000));
            QVERIFY2(check.exitCode() == 0,
                     qPrintable(QString::fromUtf8(check.readAllStandardError()) + script));
        }
    }
};

QTEST_GUILESS_MAIN(TestRulesetBuilder)
#include "tst_rulesetbuilder.moc"
