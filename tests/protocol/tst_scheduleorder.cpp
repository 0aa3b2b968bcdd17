#include "WireText.h"
#include "protocol/ConsoleTimeText.h"
#include "protocol/ScheduleOrder.h"

#include <QTest>

using namespace kestrava;

Q_DECLARE_METATYPE(kestrava::Schedule)

class TestScheduleOrder : public QObject {
    Q_OBJECT
private slots:
    void bothWays_data();
    void bothWays();
    void refused_data();
    void refused();
};

namespace {

QDateTime at(int day, int hour, int minute, int second = 0) {
    return ConsoleTimeText::naive(QDate(2026, 3, day), QTime(hour, minute, second));
}

Schedule stamped(Schedule::Type type) {
    Schedule s;
    s.type = type;
    s.stamp = at(12, 10, 0, 2);
    return s;
}

} // namespace

void TestScheduleOrder::bothWays_data() {
    QTest::addColumn<Schedule>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("no schedule") << Schedule() << wire("S");
    QTest::newRow("nothing imposed") << stamped(Schedule::Type::None) << wire("S|3/12/2026 10:00:02 AM|0|");
    Schedule off = stamped(Schedule::Type::OnOff);
    off.internetOn = false;
    QTest::newRow("internet off") << off << wire("S|3/12/2026 10:00:02 AM|1|False|0|");
    Schedule ranges = stamped(Schedule::Type::Ranges);
    ranges.blockInRanges = true;
    ranges.ranges = {{QTime(9, 0), QTime(17, 0), TimeRange::Repeat::Weekly, 34, 0},
                     {QTime(22, 0), QTime(0, 0), TimeRange::Repeat::Monthly, 0, 2049}};
    QTest::newRow("two ranges") << ranges
                                << wire("S|3/12/2026 10:00:02 AM|2|True|2|09:00 AM|05:00 PM|2|34|0|"
                                        "10:00 PM|12:00 AM|3|0|2049|0|");
    Schedule none = stamped(Schedule::Type::Ranges);
    QTest::newRow("no ranges") << none << wire("S|3/12/2026 10:00:02 AM|2|False|0|0|0|");
    none.hasBlockFlag = false;
    QTest::newRow("a group's no ranges") << none << wire("S|3/12/2026 10:00:02 AM|2|0|0|0|");
    Schedule timer = stamped(Schedule::Type::Timer);
    QTest::newRow("timer over") << timer << wire("S|3/12/2026 10:00:02 AM|3|");
    timer.timerStart = at(12, 23, 0);
    timer.timerEnd = at(13, 1, 0);
    QTest::newRow("timer without type")
        << timer << wire("S|3/12/2026 10:00:02 AM|3||3/12/2026 11:00:00 PM|3/13/2026 1:00:00 AM|0|");
    timer.timerType = u'N';
    QTest::newRow("ON timer")
        << timer << wire("S|3/12/2026 10:00:02 AM|3|N|3/12/2026 11:00:00 PM|3/13/2026 1:00:00 AM|0|");
    Schedule alone = stamped(Schedule::Type::None);
    alone.stamp = ConsoleTimeText::naive(ConsoleTimeText::kZeroDate, QTime(9, 30));
    QTest::newRow("time alone") << alone << wire("S|9:30:00 AM|0|");
}

void TestScheduleOrder::bothWays() {
    QFETCH(Schedule, value);
    QFETCH(QString, text);
    QCOMPARE(encodeSchedule(value), text);
    const Decoded<Schedule> decoded = decodeSchedule(text);
    QCOMPARE(decoded.error, QString());
    QCOMPARE(decoded.value, value);
}

void TestScheduleOrder::refused_data() {
    QTest::addColumn<QString>("text");
    const char* const rows[] = {
        "S|3/12/2026 10:00:02 AM|",
        "S|3/12/2026 10:00:02 AM|0",
        "S|3/12/2026|0|",
        "S|3/32/2026 10:00:02 AM|0|",
        "S|3/12/2026 13:00:02 PM|0|",
        "S|3/12/2026 10:00:02 AM|4|",
        "S|3/12/2026 10:00:02 AM|0|0|",
        "S|3/12/2026 10:00:02 AM|1|Yes|0|",
        "S|3/12/2026 10:00:02 AM|1|True|",
        "S|3/12/2026 10:00:02 AM|2|True|2|09:00 AM|05:00 PM|2|34|0|0|",
        "S|3/12/2026 10:00:02 AM|2|True|1|9h|05:00 PM|1|0|0|0|",
        "S|3/12/2026 10:00:02 AM|2|True|1|09:00 AM|05:00 PM|0|0|0|0|",
        "S|3/12/2026 10:00:02 AM|2|True|1|09:00 AM|05:00 PM|2|128|0|0|",
        "S|3/12/2026 10:00:02 AM|2|True|1|09:00 AM|05:00 PM|3|0|4096|0|",
        "S|3/12/2026 10:00:02 AM|2|True|1001|",
        "S|3/12/2026 10:00:02 AM|3|NN|3/12/2026 10:00:00 AM|3/12/2026 11:00:00 AM|0|",
        "S|3/12/2026 10:00:02 AM|3|N|soon|3/12/2026 11:00:00 AM|0|",
    };
    for (const char* row : rows)
        QTest::newRow(row) << wire(row);
}

void TestScheduleOrder::refused() {
    QFETCH(QString, text);
    const Decoded<Schedule> decoded = decodeSchedule(text);
    QVERIFY(!decoded.value);
    QVERIFY(!decoded.error.isEmpty());
}

QTEST_GUILESS_MAIN(TestScheduleOrder)
#include "tst_scheduleorder.moc"
