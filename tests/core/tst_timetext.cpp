#include "startup/TimeText.h"

#include <QLocale>
#include <QTest>

using namespace kestrava;

class TestTimeText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void generalDateTime_data();
    void generalDateTime();
    void statusStamp();
    void scheduleTimeRoundTrip_data();
    void scheduleTimeRoundTrip();
    void timerPeriod();
    void storedDateTime_data();
    void storedDateTime();
};

void TestTimeText::initTestCase() {
    // AM/PM must stay English whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestTimeText::generalDateTime_data() {
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QString>("expected");
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 12, 4), QTime(13, 5, 9)) << "12/4/2026 1:05:09 PM";
    QTest::newRow("midnight") << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1)) << "1/1/2027 12:00:01 AM";
    QTest::newRow("zero date") << QDateTime(QDate(1899, 12, 30), QTime(9, 30, 0)) << "9:30:00 AM";
}

void TestTimeText::generalDateTime() {
    QFETCH(QDateTime, at);
    QFETCH(QString, expected);
    QCOMPARE(TimeText::generalDateTime(at), expected);
}

void TestTimeText::statusStamp() {
    QCOMPARE(TimeText::statusStamp(QDateTime(QDate(2026, 3, 7), QTime(23, 59, 59))),
             QStringLiteral("07/03/26 11:59:59 PM"));
}

void TestTimeText::scheduleTimeRoundTrip_data() {
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("morning") << QTime(9, 5) << "09:05 AM";
    QTest::newRow("noon") << QTime(12, 0) << "12:00 PM";
    QTest::newRow("midnight") << QTime(0, 0) << "12:00 AM";
    QTest::newRow("evening") << QTime(23, 59) << "11:59 PM";
}

void TestTimeText::scheduleTimeRoundTrip() {
    QFETCH(QTime, time);
    QFETCH(QString, text);
    QCOMPARE(TimeText::scheduleTime(time), text);
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
