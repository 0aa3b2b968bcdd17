#include "PrivateNetwork.h"
#include "enforce/Cidr.h"
#include "enforce/LocalNetworks.h"

#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

class TestCidr : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void defaultsAddTheHostsOwnSubnets();
};

void TestCidr::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("network"); // empty: refused
    QTest::newRow("host bits cleared") << " 192.168.1.20/24 "
                                       << "192.168.1.0/24";
    QTest::newRow("bare IPv4") << "203.0.113.5"
                               << "203.0.113.5/32";
    QTest::newRow("IPv6 mask inside a byte") << "2001:db8:ffff::/33"
                                             << "2001:db8:8000::/33";
    QTest::newRow("leading zeros are decimal") << "010.000.000.001/8"
                                               << "10.0.0.0/8";
    QTest::newRow("short form") << "10.1"
                                << "";
    QTest::newRow("octet too big") << "10.0.0.256"
                                   << "";
    QTest::newRow("prefix too long") << "fe80::/129"
                                     << "";
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("10.0.0.0/\u0668") << "";
    QTest::newRow("scope") << "fe80::1%eth0"
                           << "";
}

void TestCidr::parse() {
    QFETCH(QString, text);
    QFETCH(QString, network);
    QString error;
    const auto parsed = Cidr::parse(text, &error);
    QCOMPARE(parsed ? parsed->toString() : QString(), network);
    if (network.isEmpty())
        QVERIFY2(error.contains(u'"' + text + u'"'), qPrintable(error));
}

void TestCidr::defaultsAddTheHostsOwnSubnets() {
    const PrivateNetwork network;
    if (!network.reason().isEmpty())
        QSKIP(qPrintable(network.reason()));
    QCOMPARE(LocalNetworks::defaults(), LocalNetworks::privateRanges()); // loopback does not count
    for (const QString& command : {u"link add kv0 type veth peer name kv1"_s,
                                   u"addr add 198.51.100.7/24 dev kv0"_s, u"addr add 10.9.8.7/24 dev kv0"_s,
                                   u"addr add 2001:db8:1::7/64 dev kv0 nodad"_s, u"link set kv0 up"_s})
        QVERIFY2(PrivateNetwork::ip(command), qPrintable(command));
    QCOMPARE(LocalNetworks::defaults(),
             LocalNetworks::privateRanges() + *Cidr::parseList({u"198.51.100.0/24"_s, u"2001:db8:1::/64"_s}));
}

QTEST_GUILESS_MAIN(TestCidr)
#include "tst_cidr.moc"
