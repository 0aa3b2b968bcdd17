#include "WireText.h"

using namespace kestrava;

class TestFields : public QObject {
    Q_OBJECT
private slots:
    void getField_data();
    void getField();
};

void TestFields::getField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("field");
    QTest::newRow("field 0 before the first separator") << wire("d|id|pc|1.4|") << 0 << QStringLiteral("d");
    QTest::newRow("past the last separator") << wire("d|id|pc|1.4|") << 4 << QString();
    QTest::newRow("last field without its separator") << wire("|id|pc|1.4") << 3 << QString();
    QTest::newRow("negative position") << wire("a|b|") << -1 << QString();
}

void TestFields::getField() {
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, field);
    QCOMPARE(Get_Field(text, n), field);
    QCOMPARE(Get_Field(QString(text).replace(kFieldSeparator, u','), u',', n), field);
}

QTEST_GUILESS_MAIN(TestFields)
#include "tst_fields.moc"
