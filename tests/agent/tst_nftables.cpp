#include "PrivateNetwork.h"
#include "enforce/LocalNetworks.h"
#include "enforce/Nftables.h"
#include "enforce/RulesetBuilder.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

// Applies rules for real, so only inside a network namespace that each test makes for itself.
class TestNftables : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_network.reset(); }
    void replacesTheTableKeepingDnsAnswers();
    void internetOffRefusesAtOnce_data();
    void internetOffRefusesAtOnce();

private:
    static QString listing() {
        QProcess nft;
        nft.start(u"nft"_s, {u"list"_s, u"ruleset"_s});
        return nft.waitForFinished(10000) ? QString::fromUtf8(nft.readAllStandardOutput()) : QString();
    }
    static RulesetInput offWithPort(int port) {
        return {true, LocalNetworks::privateRanges(), {}, {}, 8999, {port}, true, 999, 5453, false};
    }

    std::unique_ptr<PrivateNetwork> m_network;
};

void TestNftables::init() {
    m_network = std::make_unique<PrivateNetwork>();
    if (!m_network->reason().isEmpty())
        QSKIP(qPrintable(m_network->reason()));
}

void TestNftables::replacesTheTableKeepingDnsAnswers() {
    RulesetInput input = offWithPort(3128);
    QString error;
    QVERIFY(!Nftables::check(u"add rule inet kestrava output_filter ip daddr 10.0.0.300 drop"_s, &error));
    QVERIFY2(error.contains(u"10.0.0.300"_s), qPrintable(error));
    QVERIFY(Nftables::check(RulesetBuilder::ruleset(input)));
    QCOMPARE(listing(), QString()); // a check changes nothing
    QVERIFY2(Nftables::run(RulesetBuilder::ruleset(input), &error), qPrintable(error));
    QVERIFY(Nftables::run(u"add element inet kestrava allow4 { 203.0.113.9 }"_s));
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
}

void TestNftables::internetOffRefusesAtOnce_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("the internet") << u"203.0.113.50"_s << 443;
    QTest::newRow("the internet over IPv6") << u"2001:db8:1::50"_s << 443;
    QTest::newRow("controlled port on the local network") << u"10.0.0.1"_s << 80;
}

// The way out leads nowhere (its peer never answers), so without the rules a connection would hang.
void TestNftables::internetOffRefusesAtOnce() {
    QFETCH(QString, address);
    QFETCH(int, port);
    for (const QString& command :
         {u"link add kv0 type veth peer name kv1"_s, u"addr add 10.0.0.2/24 dev kv0"_s, u"link set kv0 up"_s,
          u"link set kv1 up"_s, u"route add default via 10.0.0.1"_s,
          u"addr add 2001:db8:9::2/64 dev kv0 nodad"_s, u"-6 route add default via 2001:db8:9::1"_s})
        QVERIFY2(PrivateNetwork::ip(command), qPrintable(command));
    QVERIFY(Nftables::run(RulesetBuilder::ruleset(offWithPort(80))));
    QTcpSocket socket;
    QSignalSpy failed(&socket, &QTcpSocket::errorOccurred);
    socket.connectToHost(QHostAddress(address), quint16(port));
    QVERIFY(failed.wait(5000));
    QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);
}

QTEST_GUILESS_MAIN(TestNftables)
#include "tst_nftables.moc"
