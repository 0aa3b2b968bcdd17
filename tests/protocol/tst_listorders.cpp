#include "WireText.h"
#include "protocol/ListOrders.h"

#include <QTest>

using namespace kestrava;

class TestListOrders : public QObject {
    Q_OBJECT
private slots:
    void bothWays_data();
    void bothWays();
    void noList();
    void refused_data();
    void refused();
};

void TestListOrders::bothWays_data() {
    QTest::addColumn<bool>("white");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty white list") << true << QStringList() << wire("P|0|");
    QTest::newRow("white list as stored")
        << true << QStringList{QStringLiteral("wikipedia.org"), QStringLiteral(" a.b:8080/path ")}
        << wire("P|2|wikipedia.org| a.b:8080/path |");
    QTest::newRow("empty block list") << false << QStringList() << wire("B|0|");
    QTest::newRow("block list") << false
                                << QStringList{QStringLiteral("Game Launcher.exe"), QStringLiteral("\u00e9")}
                                << wire("B|2|Game Launcher.exe|é|");
}

void TestListOrders::bothWays() {
    QFETCH(bool, white);
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    QCOMPARE(white ? encodeWhiteList(entries) : encodeBlockList(entries), text);
    const Decoded<QStringList> decoded = decodeList(text);
    QCOMPARE(decoded.error, QString());
    QCOMPARE(decoded.value, entries);
}

void TestListOrders::noList() {
    QCOMPARE(encodeWhiteList(std::nullopt), wire("P"));
    QCOMPARE(encodeBlockList(std::nullopt), wire("B"));
}

void TestListOrders::refused_data() {
    QTest::addColumn<QString>("text");
    for (const char* row : {"P", "P|", "P|2|a|", "P|1|a|b|", "B|x|", "B|-1|", "B|1001|", "B|1|a"})
        QTest::newRow(row) << wire(row);
}

void TestListOrders::refused() {
    QFETCH(QString, text);
    const Decoded<QStringList> decoded = decodeList(text);
    QVERIFY(!decoded.value);
    QVERIFY(!decoded.error.isEmpty());
}

QTEST_GUILESS_MAIN(TestListOrders)
#include "tst_listorders.moc"
