#include "core/startup/TimeText.h"

#include <QLocale>
#include <QTest>

using namespace kestrava;

class TestTimeText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void statusStamp();
    void scheduleTimeRead_data();
    void scheduleTimeRead();
    void timerPeriod();
    void storedDateTime_data();
    void storedDateTime();
};

void TestTimeText::initTestCase() {
    // AM/PM must stay English whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestTimeText::statusStamp() {
    QCOMPARE(TimeText::statusStamp(QDateTime(QDate(2026, 3, 7), QTime(23, 59, 59))),
             QStringLiteral("07/03/26 11:59:59 PM"));
}

void TestTimeText::scheduleTimeRead_data() {
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("morning") << QTime(9, 5) << "09:05 AM";
    QTest::newRow("noon") << QTime(12, 0) << "12:00 PM";
    QTest::newRow("midnight") << QTime(0, 0) << "12:00 AM";
    QTest::newRow("evening") << QTime(23, 59) << "11:59 PM";
}

void TestTimeText::scheduleTimeRead() {
    QFETCH(QTime, time);
    QFETCH(QString, text);
    QCOMPARE(TimeText::parseScheduleTime(text), time);
    QCOMPARE(TimeText::parseScheduleTime(text.toLower()), time);
}

void TestTimeText::timerPeriod() {
    QCOMPARE(TimeText::timerPeriod(QTime(1, 30)), QStringLiteral("01:30"));
    QCOMPARE(TimeText::parseTimerPeriod(QStringLiteral("01:30")), QTime(1, 30));
    QVERIFY(!TimeText::parseTimerPeriod(QStringLiteral("1h30")).isValid());
}

void TestTimeText::storedDateTime_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime at(QDate(2026, 12, 6), QTime(10, 0, 5));
    QTest::newRow("blank") << "2026-12-06 10:00:05" << at;
    QTest::newRow("T") << "2026-12-06T10:00:05" << at;
    QTest::newRow("no seconds") << "2026-12-06 10:00" << at.addSecs(-5);
    QTest::newRow("garbage") << "yesterday" << QDateTime();
}

void TestTimeText::storedDateTime() {
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QCOMPARE(TimeText::parseStoredDateTime(text), expected);
    if (expected.isValid())
        QCOMPARE(TimeText::parseStoredDateTime(TimeText::storedDateTime(expected)), expected);
}

QTEST_GUILESS_MAIN(TestTimeText)
#include "tst_timetext.moc"
