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
    void withoutCovered_data();
    void withoutCovered();
    void defaultsAddTheHostsOwnSubnets();
};

void TestCidr::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("network"); // empty: refused
    QTest::newRow("network") << "10.0.0.0/8"
                             << "10.0.0.0/8";
    QTest::newRow("host bits cleared") << " 192.168.1.20/24 "
                                       << "192.168.1.0/24";
    QTest::newRow("bare IPv4") << "203.0.113.5"
                               << "203.0.113.5/32";
    QTest::newRow("IPv6 network") << "fe80::/10"
                                  << "fe80::/10";
    QTest::newRow("bare IPv6") << "2001:db8::1"
                               << "2001:db8::1/128";
    QTest::newRow("IPv6 mask inside a byte") << "2001:db8:ffff::/33"
                                             << "2001:db8:8000::/33";
    QTest::newRow("everything") << "0.0.0.0/0"
                                << "0.0.0.0/0";
    QTest::newRow("leading zeros are decimal") << "010.000.000.001/8"
                                               << "10.0.0.0/8";
    QTest::newRow("short form") << "10.1"
                                << "";
    QTest::newRow("octet too big") << "10.0.0.256"
                                   << "";
    QTest::newRow("prefix too long") << "10.0.0.0/33"
                                     << "";
    QTest::newRow("IPv6 prefix too long") << "fe80::/129"
                                          << "";
    QTest::newRow("empty prefix") << "10.0.0.0/"
                                  << "";
    QTest::newRow("negative prefix") << "10.0.0.0/-1"
                                     << "";
    QTest::newRow("two prefixes") << "10.0.0.0/8/8"
                                  << "";
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("10.0.0.0/\u0668") << "";
    QTest::newRow("name") << "example.org"
                          << "";
    QTest::newRow("scope") << "fe80::1%eth0"
                           << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCidr::parse() {
    QFETCH(QString, text);
    QFETCH(QString, network);
    QString error;
    const auto parsed = Cidr::parse(text, &error);
    QCOMPARE(parsed ? parsed->toString() : QString(), network);
    if (network.isEmpty())
        QVERIFY2(error.contains(QLatin1Char('"') + text + QLatin1Char('"')), qPrintable(error));
}

void TestCidr::withoutCovered_data() {
    QTest::addColumn<QStringList>("networks");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("nested and repeated")
        << QStringList{u"10.1.0.0/16"_s, u"10.0.0.0/8"_s, u"192.168.0.0/16"_s,
                       u"10.0.0.0/8"_s,  u"fe80::1"_s,    u"fe80::/10"_s}
        << QStringList{u"10.0.0.0/8"_s, u"192.168.0.0/16"_s, u"fe80::/10"_s};
    QTest::newRow("families apart") << QStringList{u"0.0.0.0/0"_s, u"::/0"_s, u"::ffff:10.0.0.1"_s}
                                    << QStringList{u"0.0.0.0/0"_s, u"::/0"_s};
    QTest::newRow("neighbours stay") << QStringList{u"10.0.0.0/9"_s, u"10.128.0.0/9"_s}
                                     << QStringList{u"10.0.0.0/9"_s, u"10.128.0.0/9"_s};
}

void TestCidr::withoutCovered() {
    QFETCH(QStringList, networks);
    QFETCH(QStringList, kept);
    QStringList result;
    for (const Cidr& network : Cidr::withoutCovered(*Cidr::parseList(networks)))
        result.append(network.toString());
    QCOMPARE(result, kept);
}

void TestCidr::defaultsAddTheHostsOwnSubnets() {
    const PrivateNetwork network;
    if (!network.reason().isEmpty())
        QSKIP(qPrintable(network.reason()));
    QCOMPARE(LocalNetworks::defaults(), LocalNetworks::privateRanges()); // loopback does not count
    QVERIFY(PrivateNetwork::ip(
        {u"link"_s, u"add"_s, u"kv0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"kv1"_s}));
    QVERIFY(PrivateNetwork::ip({u"addr"_s, u"add"_s, u"198.51.100.7/24"_s, u"dev"_s, u"kv0"_s}));
    QVERIFY(PrivateNetwork::ip({u"addr"_s, u"add"_s, u"10.9.8.7/24"_s, u"dev"_s, u"kv0"_s}));
    QVERIFY(PrivateNetwork::ip({u"addr"_s, u"add"_s, u"2001:db8:1::7/64"_s, u"dev"_s, u"kv0"_s, u"nodad"_s}));
    QVERIFY(PrivateNetwork::ip({u"link"_s, u"set"_s, u"kv0"_s, u"up"_s}));
    QCOMPARE(LocalNetworks::defaults(),
             LocalNetworks::privateRanges() + *Cidr::parseList({u"198.51.100.0/24"_s, u"2001:db8:1::/64"_s}));
}

QTEST_GUILESS_MAIN(TestCidr)
#include "tst_cidr.moc"
