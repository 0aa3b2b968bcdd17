#include "WireText.h"
#include "protocol/SettingsOrder.h"

#include <QTest>

using namespace kestrava;

Q_DECLARE_METATYPE(kestrava::Settings)

class TestSettingsOrder : public QObject {
    Q_OBJECT
private slots:
    void bothWays_data();
    void bothWays();
    void refused_data();
    void refused();
};

void TestSettingsOrder::bothWays_data() {
    QTest::addColumn<Settings>("value");
    QTest::addColumn<QString>("text");
    const QList<int> ports{80, 21, 23, 25, 110, 1080, 119, 1027, 194, 0};
    QTest::newRow("no settings") << Settings() << wire("O");
    QTest::newRow("to the root") << Settings{ports, QStringLiteral("Not now"), false, false}
                                 << wire("O|10|80|21|23|25|110|1080|119|1027|194|0|Not now|");
    QTest::newRow("to a system") << Settings{ports, QStringLiteral("\u00e9t\u00e9 \u20ac"), true, false}
                                 << wire("O|10|80|21|23|25|110|1080|119|1027|194|0|été €|False|");
    QTest::newRow("blanked, empty message")
        << Settings{ports, QString(), true, true} << wire("O|10|80|21|23|25|110|1080|119|1027|194|0||True|");
    QTest::newRow("flag alone") << Settings{{}, QString(), true, true} << wire("OTrue|");
}

void TestSettingsOrder::bothWays() {
    QFETCH(Settings, value);
    QFETCH(QString, text);
    QCOMPARE(encodeSettings(value), text);
    const Decoded<Settings> decoded = decodeSettings(text);
    QCOMPARE(decoded.error, QString());
    QCOMPARE(decoded.value, value);
}

void TestSettingsOrder::refused_data() {
    QTest::addColumn<QString>("text");
    for (const char* row : {"O|10|80|", "O|2|80|70000|m|", "O|2|80|-1|m|", "O|x|m|", "O|1|80|m|Maybe|",
                            "O|1|80|m|True|x|", "OMaybe|", "OTrue|False|", "OTrue", "O|1001|"})
        QTest::newRow(row) << wire(row);
}

void TestSettingsOrder::refused() {
    QFETCH(QString, text);
    const Decoded<Settings> decoded = decodeSettings(text);
    QVERIFY(!decoded.value);
    QVERIFY(!decoded.error.isEmpty());
}

QTEST_GUILESS_MAIN(TestSettingsOrder)
#include "tst_settingsorder.moc"
