#include "agent/policy/InternetDecision.h"
#include "agent/policy/NoticeText.h"

#include <QLocale>
#include <QTest>

using namespace kestrava::agent;

Q_DECLARE_METATYPE(kestrava::agent::Schedule)

namespace {
using Repeat = TimeRange::Repeat;
// 6 Dec 2026 is a Sunday.
QDateTime at(int mo, int d, int h, int mi, int s = 0, int y = 2026) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}
TimeRange range(int fromHour, int toHour, Repeat repeat = Repeat::Daily, int weekDays = 0, int months = 0) {
    return {QTime(fromHour, 0), QTime(toHour, 0), repeat, weekDays, months};
}
Schedule ranges(bool block, const QList<TimeRange>& list) {
    Schedule s;
    s.type = Schedule::Type::Ranges;
    s.blockInRanges = block;
    s.ranges = list;
    return s;
}
Schedule timer(char type) {
    Schedule s;
    s.type = Schedule::Type::Timer;
    s.timerType = QLatin1Char(type);
    s.timerStart = at(12, 6, 10, 0);
    s.timerEnd = at(12, 6, 11, 30);
    return s;
}
const QDateTime kNone;
} // namespace

// When internet is on by the console's schedule, and how the user is told.
class TestPolicy : public QObject {
    Q_OBJECT

private slots:
    void decide_data() {
        QTest::addColumn<Schedule>("schedule");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("imposed");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QDateTime>("next");
        const auto row = [](const char* name, const Schedule& s, const QDateTime& now, bool imposed, bool on,
                            const QDateTime& next) {
            QTest::newRow(name) << s << now << imposed << on << next;
        };
        const QDateTime noon = at(12, 6, 12, 0);
        row("no policy", Schedule(), noon, false, true, kNone);
        row("before an allowing range", ranges(false, {range(8, 9)}), at(12, 6, 7, 0), true, false,
            at(12, 6, 8, 0));
        row("inside an allowing range", ranges(false, {range(8, 9)}), at(12, 6, 8, 30), true, true,
            at(12, 6, 9, 0));
        row("blocking range ends exclusive", ranges(true, {range(8, 9)}), at(12, 6, 9, 0), true, true,
            at(12, 7, 8, 0));
        row("last second before midnight", ranges(false, {range(22, 0)}), at(12, 6, 23, 59, 59), true, true,
            at(12, 7, 0, 0));
        row("Friday range past midnight", ranges(false, {range(22, 2, Repeat::Weekly, 1 << 5)}),
            at(12, 5, 1, 0), true, true, at(12, 5, 2, 0));
        row("Saturday evening waits for Friday", ranges(false, {range(22, 2, Repeat::Weekly, 1 << 5)}),
            at(12, 5, 22, 30), true, false, at(12, 11, 22, 0));
        row("February range not on 31 January", ranges(false, {range(22, 2, Repeat::Monthly, 0, 1 << 1)}),
            at(1, 31, 23, 0, 0, 2027), true, false, at(2, 1, 22, 0, 0, 2027));
        row("February range runs into March", ranges(false, {range(22, 2, Repeat::Monthly, 0, 1 << 1)}),
            at(3, 1, 1, 0, 0, 2027), true, true, at(3, 1, 2, 0, 0, 2027));
        row("overlapping blocks", ranges(true, {range(8, 10), range(9, 11)}), at(12, 6, 8, 30), true, false,
            at(12, 6, 11, 0));
        row("start equal to stop runs all day", ranges(false, {range(8, 8)}), noon, true, true, kNone);
        row("Monday all day ends Tuesday", ranges(false, {range(8, 8, Repeat::Weekly, 1 << 1)}),
            at(12, 7, 9, 0), true, true, at(12, 8, 8, 0));
        row("no day chosen", ranges(false, {range(8, 9, Repeat::Weekly, 0)}), noon, true, false, kNone);
        row("OFF timer running", timer('F'), at(12, 6, 10, 0), true, false, at(12, 6, 11, 30));
        row("other timer", timer('X'), at(12, 6, 10, 0), false, true, kNone);
    }

    void decide() {
        QFETCH(Schedule, schedule);
        QFETCH(QDateTime, now);
        QFETCH(bool, imposed);
        QFETCH(bool, on);
        QFETCH(QDateTime, next);
        const Decision decision = kestrava::agent::decide(schedule, now);
        QCOMPARE(decision.imposed, imposed);
        QCOMPARE(decision.internetOn, on);
        QCOMPARE(decision.nextChange.value_or(QDateTime()), next);
    }

    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void text_data() {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QDateTime>("next");
        QTest::addColumn<QString>("expected");
        QTest::newRow("today") << false << QDateTime(QDate(2026, 12, 6), QTime(15, 40, 30), Qt::UTC)
                               << "Internet access is off until 3:40 PM";
        QTest::newRow("another day") << true << QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC)
                                     << "Internet access is on until Mon 12/7 8:00 AM";
        QTest::newRow("no change known") << false << QDateTime() << "Internet access is off";
    }

    void text() {
        QFETCH(bool, on);
        QFETCH(QDateTime, next);
        QFETCH(QString, expected);
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 0), Qt::UTC);
        QCOMPARE(internetNotice(on, next.isValid() ? std::optional(next) : std::nullopt, now), expected);
    }
};

QTEST_APPLESS_MAIN(TestPolicy)
#include "tst_policy.moc"
