#include "PrivateNetwork.h"
#include "agent/enforce/Cidr.h"
#include "agent/enforce/LocalNetworks.h"

#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

class TestCidr : public QObject {
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

    void defaultsAddTheHostsOwnSubnets() {
        const PrivateNetwork network;
        if (!network.reason().isEmpty())
            QSKIP(qPrintable(network.reason()));
        QCOMPARE(LocalNetworks::defaults(), LocalNetworks::privateRanges()); // loopback does not count
        for (const QString& command :
             {u"link add kv0 type veth peer name kv1"_s, u"addr add 198.51.100.7/24 dev kv0"_s,
              u"addr add 10.9.8.7/24 dev kv0"_s, u"addr add 2001:db8:1::7/64 dev kv0 nodad"_s,
              u"link set kv0 up"_s})
            QVERIFY2(PrivateNetwork::ip(command), qPrintable(command));
        QCOMPARE(LocalNetworks::defaults(),
                 LocalNetworks::privateRanges() +
                     *Cidr::parseList({u"198.51.100.0/24"_s, u"2001:db8:1::/64"_s}));
    }
};

QTEST_GUILESS_MAIN(TestCidr)
#include "tst_cidr.moc"
