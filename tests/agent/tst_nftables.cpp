#include "PrivateNetwork.h"
#include "agent/enforce/LocalNetworks.h"
#include "agent/enforce/Nftables.h"
#include "agent/enforce/RulesetBuilder.h"

#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

namespace {
QString listing() {
    QProcess nft;
    nft.start(u"nft"_s, {u"list"_s, u"ruleset"_s});
    return nft.waitForFinished(10000) ? QString::fromUtf8(nft.readAllStandardOutput()) : QString();
}
} // namespace

// Applies rules for real, so only inside a network namespace of the test's own.
class TestNftables : public QObject {
    Q_OBJECT

private slots:
    void replacesTheTableKeepingDnsAnswers() {
        const PrivateNetwork network;
        if (!network.reason().isEmpty())
            QSKIP(qPrintable(network.reason()));
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
        QVERIFY(Nftables::run(u"flush chain inet kestrava output_filter"_s));
        QVERIFY(Nftables::listTable(u"inet kestrava"_s) != applied);
        input.controlledPorts = {8080};
        QVERIFY(Nftables::run(RulesetBuilder::ruleset(input)));
        QString table = listing();
        QVERIFY2(table.contains(u"203.0.113.9"_s) && table.contains(u"8080"_s) && !table.contains(u"3128"_s),
                 qPrintable(table));

        input.internetOff = false;
        QVERIFY(Nftables::run(RulesetBuilder::ruleset(input)));
        table = listing();
        QVERIFY2(!table.contains(u"output_filter"_s) && table.contains(u"203.0.113.9"_s), qPrintable(table));
        input.flushDnsSets = true;
        QVERIFY(Nftables::run(RulesetBuilder::ruleset(input)));
        QVERIFY(!listing().contains(u"203.0.113.9"_s));

        QVERIFY(Nftables::run(RulesetBuilder::removal()));
        QVERIFY(Nftables::run(RulesetBuilder::removal())); // already gone: no error
        QCOMPARE(listing(), QString());
        QCOMPARE(Nftables::listTable(u"inet kestrava"_s), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestNftables)
#include "tst_nftables.moc"
