#include "WireText.h"
#include "protocol/Identification.h"
#include "protocol/Messages.h"

#include <QTest>

using namespace kestrava;

class TestIdentification : public QObject {
    Q_OBJECT
private slots:
    void bothWays();
    void version_data();
    void version();
    void leadingNumber_data();
    void leadingNumber();
};

void TestIdentification::bothWays() {
    const Identification id{QStringLiteral("ID7"), QStringLiteral("PC 7"), QStringLiteral("1.4")};
    QCOMPARE(encodeIdentification(id), wire("d|ID7|PC 7|1.4|"));
    QCOMPARE(decodeIdentification(wire("d|ID7|PC 7|1.4|")), id);
    QCOMPARE(decodeIdentification(wire("D|ID7|PC 7|1.4|")), id);
    QCOMPARE(decodeIdentification(wire("d|ID7|PC 7|1.4")),
             (Identification{id.identifier, id.computerName, {}}));
    QCOMPARE(decodeIdentification(wire("d")), Identification());
}

void TestIdentification::version_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("right");
    for (const auto& [text, right] : {std::pair{"1.4", true},
                                      {"1.40", true},
                                      {" 1.4", true},
                                      {"1.4beta", true},
                                      {"1.5", false},
                                      {"1", false},
                                      {"1,4", false},
                                      {"", false}})
        QTest::newRow(text) << QString::fromLatin1(text) << right;
}

void TestIdentification::version() {
    QFETCH(QString, version);
    QFETCH(bool, right);
    QCOMPARE((Identification{{}, {}, version}.hasClientVersion()), right);
}

void TestIdentification::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("stops at text") << QStringLiteral("12ab3") << 12.0;
    QTest::newRow("second point ends") << QStringLiteral("1.4.1") << 1.4;
    QTest::newRow("exponent") << QStringLiteral("14e-1") << 1.4;
    QTest::newRow("exponent without digits") << QStringLiteral("3e") << 3.0;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5;
}

void TestIdentification::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Messages::leadingNumber(text), value);
}

QTEST_GUILESS_MAIN(TestIdentification)
#include "tst_identification.moc"
