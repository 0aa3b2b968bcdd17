#include "WireText.h"
#include "protocol/ConsoleOrder.h"
#include "protocol/ShortOrders.h"

#include <QTest>

using namespace kestrava;

class TestShortOrders : public QObject {
    Q_OBJECT
private slots:
    void bothWays_data();
    void bothWays();
    void refused_data();
    void refused();
};

namespace {

// The order as the agent reads it, in one text to compare.
QString read(const QString& text) {
    const OrderParse parse = parseOrder(text);
    if (!parse.order)
        return parse.error;
    return QStringLiteral("%1 %2 %3")
        .arg(Messages::letterOf(parse.order->kind))
        .arg(parse.order->flagCode)
        .arg(parse.order->blank);
}

} // namespace

void TestShortOrders::bothWays_data() {
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("synchronised") << encodeFlag(Messages::kFlagSynchronized) << wire("F|3|") << "F 3 0";
    QTest::newRow("moved") << encodeFlag(Messages::kFlagMoved) << wire("F|7|") << "F 7 0";
    QTest::newRow("blank") << encodeBlankScreen(true) << wire("L|True|") << "L 0 1";
    QTest::newRow("show") << encodeBlankScreen(false) << wire("L|False|") << "L 0 0";
    QTest::newRow("visible") << encodeBareOrder(MessageKind::MakeVisible) << wire("V") << "V 0 0";
    QTest::newRow("invisible") << encodeBareOrder(MessageKind::MakeInvisible) << wire("I") << "I 0 0";
    QTest::newRow("terminate") << encodeBareOrder(MessageKind::Terminate) << wire("T") << "T 0 0";
    QTest::newRow("uninstall") << encodeBareOrder(MessageKind::Uninstall) << wire("U") << "U 0 0";
}

void TestShortOrders::bothWays() {
    QFETCH(QString, encoded);
    QFETCH(QString, text);
    QFETCH(QString, decoded);
    QCOMPARE(encoded, text);
    QCOMPARE(read(text), decoded);
}

void TestShortOrders::refused_data() {
    QTest::addColumn<QString>("text");
    for (const char* row :
         {"F|x|", "F|3|4|", "F|", "F3", "F|1000000|", "L|Yes|", "L|True", "L||", "V|", "Tx", "Ux|"})
        QTest::newRow(row) << wire(row);
}

void TestShortOrders::refused() {
    QFETCH(QString, text);
    QVERIFY(!parseOrder(text).order);
    QVERIFY(!parseOrder(text).error.isEmpty());
}

QTEST_GUILESS_MAIN(TestShortOrders)
#include "tst_shortorders.moc"
