#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/policy/PolicyExplanation.h"
#include "core/policy/PolicyLines.h"
#include "core/startup/Clock.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

Q_DECLARE_METATYPE(std::optional<EffectivePolicy>)

class TestPolicyExplanation : public QObject {
    Q_OBJECT
private slots:
    void explain_data();
    void explain();
    void linesFollowTheDatabase();
};

namespace {

// Tuesday 1 December 2026, 10:00.
const QDateTime kNow(QDate(2026, 12, 1), QTime(10, 0));

std::optional<EffectivePolicy> policy(int type, bool own = false) {
    EffectivePolicy p;
    p.scheduleType = type;
    p.own = own;
    return p;
}

std::optional<EffectivePolicy> onOff(bool on) {
    auto p = policy(1, true);
    p->onInternet = on;
    return p;
}

std::optional<EffectivePolicy> ranges(bool block, std::vector<ScheduleRange> rows) {
    auto p = policy(2);
    p->blockInternet = block;
    p->ranges = std::move(rows);
    return p;
}

std::optional<EffectivePolicy> timer(const char* type, const QDateTime& start, QTime period) {
    auto p = policy(3, true);
    p->timer.type = QLatin1String(type);
    p->timer.start = start;
    p->timer.period = period;
    return p;
}

} // namespace

void TestPolicyExplanation::explain_data() {
    QTest::addColumn<std::optional<EffectivePolicy>>("policy");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("next");
    const QTime noon(12, 0);
    QTest::newRow("root system") << std::optional<EffectivePolicy>() << "On — no policy" << QDateTime();
    QTest::newRow("type 0") << policy(0) << "On — no policy (group's)" << QDateTime();
    QTest::newRow("set on") << onOff(true) << "On — set on (own)" << QDateTime();
    QTest::newRow("set off") << onOff(false) << "Off — set off (own)" << QDateTime();
    QTest::newRow("no ranges") << ranges(false, {}) << "On — schedule without times (group's)" << QDateTime();
    QTest::newRow("inside allowing range")
        << ranges(false, {{QTime(9, 0), noon, 1, 0, 0}}) << "On — schedule: next off 12:00 PM (group's)"
        << QDateTime(kNow.date(), noon);
    QTest::newRow("inside blocking range")
        << ranges(true, {{QTime(9, 0), noon, 1, 0, 0}}) << "Off — schedule: next on 12:00 PM (group's)"
        << QDateTime(kNow.date(), noon);
    QTest::newRow("touching ranges merge")
        << ranges(true, {{QTime(9, 0), noon, 1, 0, 0}, {noon, QTime(13, 0), 1, 0, 0}})
        << "Off — schedule: next on 1:00 PM (group's)" << QDateTime(kNow.date(), QTime(13, 0));
    QTest::newRow("past midnight from yesterday")
        << ranges(false, {{QTime(22, 0), QTime(10, 30), 1, 0, 0}})
        << "On — schedule: next off 10:30 AM (group's)" << QDateTime(kNow.date(), QTime(10, 30));
    QTest::newRow("weekly on Thursday")
        << ranges(false, {{QTime(8, 0), noon, 2, 1 << 4, 0}})
        << "Off — schedule: next on 8:00 AM Thu (group's)" << QDateTime(QDate(2026, 12, 3), QTime(8, 0));
    QTest::newRow("weekly ending at midnight")
        << ranges(true, {{QTime(9, 0), QTime(0, 0), 2, 1 << 2, 0}})
        << "Off — schedule: next on 12:00 AM Wed (group's)" << QDateTime(QDate(2026, 12, 2), QTime(0, 0));
    QTest::newRow("monthly in March")
        << ranges(false, {{QTime(8, 0), noon, 3, 0, 1 << 2}})
        << "Off — schedule: next on 8:00 AM Mon 3/1 (group's)" << QDateTime(QDate(2027, 3, 1), QTime(8, 0));
    QTest::newRow("never") << ranges(false, {{QTime(8, 0), noon, 2, 0, 0}}) << "Off — schedule (group's)"
                           << QDateTime();
    QTest::newRow("OFF timer running")
        << timer("F", kNow.addSecs(-600), QTime(5, 40)) << "Off — OFF timer until 3:30 PM (own)"
        << kNow.addSecs(5 * 3600 + 1800);
    QTest::newRow("ON timer till tomorrow")
        << timer("N", kNow, QTime(23, 0)) << "On — ON timer until 9:00 AM Wed (own)"
        << kNow.addSecs(23 * 3600);
    QTest::newRow("ON timer over") << timer("N", kNow.addDays(-1), QTime(1, 0))
                                   << "Off — ON timer not running (own)" << QDateTime();
    QTest::newRow("OFF timer over") << timer("F", kNow.addDays(-1), QTime(1, 0))
                                    << "On — OFF timer not running (own)" << QDateTime();
    QTest::newRow("timer never set") << timer("", QDateTime(), QTime(0, 0)) << "On — timer not set (own)"
                                     << QDateTime();
}

void TestPolicyExplanation::explain() {
    QFETCH(std::optional<EffectivePolicy>, policy);
    QFETCH(QString, text);
    QFETCH(QDateTime, next);
    const PolicyLine line = explainPolicy(policy, kNow);
    QCOMPARE(line.text, text);
    QCOMPARE(line.nextChange, next);
}

// The lines read the row that governs each system, read it again only when told of a change, and wait
// for the earliest change; an OFF timer of no length is over at once and leaves nothing to wait for.
void TestPolicyExplanation::linesFollowTheDatabase() {
    TempDatabase temp;
    Database& db = temp.db();
    const int lab = PolicyRows::addGroup(db, QStringLiteral("Lab"));
    const QString follower = PolicyRows::addSystem(db, QStringLiteral("A"), QStringLiteral("PCA"), lab);
    const QString own = PolicyRows::addSystem(db, QStringLiteral("B"), QStringLiteral("PCB"), lab, true);
    db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Key=?"),
            {own});
    FixedClock clock(kNow);
    PolicyLines lines(db, clock);
    QSignalSpy changed(&lines, &PolicyLines::changed);
    QCOMPARE(lines.textOf(follower), QStringLiteral("On — no policy (group's)"));
    QCOMPARE(lines.textOf(own), QStringLiteral("On — set on (own)"));
    QVERIFY(!readEffectivePolicy(db, PolicyRows::groupKey(QStringLiteral("Lab"))));
    const QString timer = QStringLiteral("UPDATE Group_Table SET Schedule_Type=3, Timer_Type='F', "
                                         "Timer_Starttime='2026-12-01 10:00:00', Timer_Period=?");
    db.exec(timer, {QStringLiteral("00:00")});
    QCOMPARE(lines.textOf(follower), QStringLiteral("On — no policy (group's)"));
    lines.policyChanged();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(lines.textOf(follower), QStringLiteral("On — OFF timer not running (group's)"));
    QCOMPARE(lines.nextChange(), QDateTime());
    db.exec(timer, {QStringLiteral("00:01")});
    lines.policyChanged();
    QCOMPARE(lines.textOf(follower), QStringLiteral("Off — OFF timer until 10:01 AM (group's)"));
    QCOMPARE(lines.nextChange(), kNow.addSecs(60));
}

QTEST_GUILESS_MAIN(TestPolicyExplanation)
#include "tst_policyexplanation.moc"
