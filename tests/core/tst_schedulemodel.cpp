#include "ClientInbox.h"
#include "LabScene.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "core/policy/ScheduleModel.h"

#include <QSqlRecord>
#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

using Range = ScheduleModel::Range;
const QString kStamp = QStringLiteral("S|3/12/2026 10:00:02 AM|");

// Lab keeps two weekly ranges (Monday and Friday); pc1 follows it, pc2 has its own internet on.
struct Setup : LabScene {
    ScheduleModel model{h.db(), h.clock(), h.messenger()};

    Setup() {
        db().exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Key=?"),
                  {pc2});
        db().exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=2, Block_Internet=1"));
        PolicyRows::addGroupRange(db(), lab, QStringLiteral("08:00 AM,09:00 AM,2,34,0"));
        PolicyRows::addGroupRange(db(), lab, QStringLiteral("01:00 PM,02:30 PM,2,34,0"));
        connect();
    }

    void addRange(QTime start, QTime stop) {
        model.setStartTime(start);
        model.setStopTime(stop);
        QCOMPARE(model.add(), ScheduleModel::AddResult::Added);
    }
    QStringList ranges(const QString& table) {
        QStringList rows;
        for (const QSqlRecord& r : db().rows(
                 QStringLiteral("SELECT Start_Time, Stop_Time, DailyWeeklyMonthly, WeekDays, Months FROM %1 "
                                "ORDER BY ID")
                     .arg(table)))
            rows << QStringLiteral("%1-%2 %3/%4/%5")
                        .arg(r.value(0).toString(), r.value(1).toString(), r.value(2).toString(),
                             r.value(3).toString(), r.value(4).toString());
        return rows;
    }
};

QStringList texts(const QList<Range>& ranges) {
    QStringList all;
    for (const Range& range : ranges)
        all << range.start + QLatin1Char('-') + range.stop;
    return all;
}

} // namespace

class TestScheduleModel : public QObject {
    Q_OBJECT
private slots:
    void opensGroupWithItsSchedules();
    void followingSystemShowsGroupAndApplyGivesItsOwn();
    void systemWithOtherPolicyOfItsOwnOpensEmpty();
    void limitOfTen();
    void refusedRanges_data();
    void refusedRanges();
    void storedMasks_data();
    void storedMasks();
    void applyReplacesRowsAndStoresBlockSet();
    void emptiedListAnsweredYes();
    void emptiedListAnsweredNo();
    void applyEnabling();
    void pickersFollowSelectionAndClear();
    void deletedMeanwhile_data();
    void deletedMeanwhile();
};

void TestScheduleModel::opensGroupWithItsSchedules() {
    Setup s;
    s.model.open(s.group());
    QCOMPARE(texts(s.model.ranges()), (QStringList{u"08:00 AM-09:00 AM"_s, u"01:00 PM-02:30 PM"_s}));
    QCOMPARE(s.model.recurrence(), ScheduleModel::Weekly);
    QCOMPARE(s.model.weekDayMask(), 34);
    QVERIFY(s.model.weekDay(1) && s.model.weekDay(5) && !s.model.weekDay(0));
    QCOMPARE(s.model.monthMask(), 0);
    QCOMPARE(s.model.startTime(), QTime(8, 0));
    QCOMPARE(s.model.stopTime(), QTime(9, 0));
    QVERIFY(s.model.blockInternet());
    QVERIFY(!s.model.applyEnabled());
}

void TestScheduleModel::followingSystemShowsGroupAndApplyGivesItsOwn() {
    Setup s;
    QVERIFY(s.ready());
    s.h.db().exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1"));
    s.model.open(s.system(s.pc1, QStringLiteral("pc1")));
    QCOMPARE(texts(s.model.ranges()), (QStringList{u"08:00 AM-09:00 AM"_s, u"01:00 PM-02:30 PM"_s}));
    s.addRange(QTime(18, 0), QTime(19, 45));
    QCOMPARE(s.model.apply(), ScheduleModel::ApplyResult::Applied);

    QCOMPARE(s.number(QStringLiteral("SELECT Apply_Systemwise_Settings FROM System_Table WHERE System_Key=?"),
                      {s.pc1}),
             1);
    QCOMPARE(s.number(QStringLiteral("SELECT Schedule_Type FROM System_Table WHERE System_Key=?"), {s.pc1}),
             2);
    QCOMPARE(s.number(QStringLiteral("SELECT Apply_Groupwise_Settings FROM Group_Table")), 0);
    QCOMPARE(s.ranges(QStringLiteral("System_Scheduler_Table")),
             (QStringList{u"08:00 AM-09:00 AM 2/34/0"_s, u"01:00 PM-02:30 PM 2/34/0"_s,
                          u"06:00 PM-07:45 PM 2/34/0"_s}));
    QCOMPARE(s.ranges(QStringLiteral("Group_Scheduler_Table")).size(), 2);
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1),
             QStringList{kStamp + QStringLiteral("2|True|3|08:00 AM|09:00 AM|2|34|0|01:00 PM|02:30 PM|2|34|0|"
                                                 "06:00 PM|07:45 PM|2|34|0|0|")});
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList());
}

void TestScheduleModel::systemWithOtherPolicyOfItsOwnOpensEmpty() {
    Setup s;
    PolicyRows::addSystemRange(s.h.db(), PolicyRows::systemId(s.h.db(), s.pc2),
                               QStringLiteral("07:00 AM,08:00 AM,1"));
    s.model.open(s.system(s.pc2, QStringLiteral("pc2")));
    QVERIFY(s.model.ranges().isEmpty());
    QCOMPARE(s.model.recurrence(), ScheduleModel::Daily);
    QCOMPARE(s.model.startTime(), QTime(10, 0));
    QVERIFY(!s.model.blockInternet());
}

void TestScheduleModel::limitOfTen() {
    Setup s;
    s.model.open(s.group());
    for (int hour = 10; hour < 18; ++hour)
        s.addRange(QTime(hour, 0), QTime(hour, 30));
    QCOMPARE(s.model.ranges().size(), 10);
    s.model.setStartTime(QTime(20, 0));
    s.model.setStopTime(QTime(21, 0));
    QCOMPARE(s.model.add(), ScheduleModel::AddResult::LimitReached);
    QCOMPARE(s.model.ranges().size(), 10);
}

void TestScheduleModel::refusedRanges_data() {
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QTime>("stop");
    QTest::newRow("equal") << QTime(21, 0) << QTime(21, 0);
    QTest::newRow("across midnight") << QTime(22, 0) << QTime(2, 0);
    QTest::newRow("stop before start") << QTime(9, 30) << QTime(9, 29);
    QTest::newRow("same minute, other seconds") << QTime(9, 30, 10) << QTime(9, 30, 50);
}

void TestScheduleModel::refusedRanges() {
    QFETCH(QTime, start);
    QFETCH(QTime, stop);
    Setup s;
    s.model.open(s.group());
    s.model.setStartTime(start);
    s.model.setStopTime(stop);
    QCOMPARE(s.model.add(), ScheduleModel::AddResult::StartNotBeforeStop);
    QCOMPARE(s.model.ranges().size(), 2);
    QVERIFY(!s.model.applyEnabled());
}

void TestScheduleModel::storedMasks_data() {
    QTest::addColumn<int>("recurrence");
    QTest::addColumn<QList<int>>("days");
    QTest::addColumn<QList<int>>("months");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("payloadKind");
    QTest::newRow("weekly, Monday and Friday")
        << int(ScheduleModel::Weekly) << QList<int>{1, 5} << QList<int>{0} << "2/34/0"
        << "2|34|0";
    QTest::newRow("monthly, January and December")
        << int(ScheduleModel::Monthly) << QList<int>{3} << QList<int>{0, 11} << "3/0/2049"
        << "3|0|2049";
    QTest::newRow("daily ignores days and months")
        << int(ScheduleModel::Daily) << QList<int>{1, 2} << QList<int>{4} << "1/0/0"
        << "1|0|0";
}

void TestScheduleModel::storedMasks() {
    QFETCH(int, recurrence);
    QFETCH(QList<int>, days);
    QFETCH(QList<int>, months);
    QFETCH(QString, stored);
    QFETCH(QString, payloadKind);
    Setup s;
    QVERIFY(s.ready());
    s.model.open(s.group());
    s.model.removeRanges({0, 1});
    s.model.setRecurrence(ScheduleModel::Recurrence(recurrence));
    for (int day = 0; day < 7; ++day)
        s.model.setWeekDay(day, days.contains(day));
    for (int month = 0; month < 12; ++month)
        s.model.setMonth(month, months.contains(month));
    s.addRange(QTime(9, 0), QTime(12, 0));
    s.addRange(QTime(21, 5), QTime(23, 59));
    QCOMPARE(s.model.apply(), ScheduleModel::ApplyResult::Applied);
    QCOMPARE(s.ranges(QStringLiteral("Group_Scheduler_Table")),
             (QStringList{QStringLiteral("09:00 AM-12:00 PM ") + stored,
                          QStringLiteral("09:05 PM-11:59 PM ") + stored}));
    // Every member follows the group now, also the one that had settings of its own.
    const QString payload = kStamp + QStringLiteral("2|True|2|09:00 AM|12:00 PM|") + payloadKind +
                            QStringLiteral("|09:05 PM|11:59 PM|") + payloadKind + QStringLiteral("|0|");
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList{payload});
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList{payload});
    QCOMPARE(s.number(QStringLiteral("SELECT sum(Apply_Systemwise_Settings) FROM System_Table")), 0);
}

void TestScheduleModel::applyReplacesRowsAndStoresBlockSet() {
    Setup s;
    s.model.open(s.group());
    const int highestBefore = s.number(QStringLiteral("SELECT max(ID) FROM Group_Scheduler_Table"));
    s.model.setBlockInternet(false);
    s.model.removeRanges({1});
    QCOMPARE(s.model.apply(), ScheduleModel::ApplyResult::Applied);
    QCOMPARE(s.ranges(QStringLiteral("Group_Scheduler_Table")), QStringList{u"08:00 AM-09:00 AM 2/34/0"_s});
    QVERIFY(s.number(QStringLiteral("SELECT min(ID) FROM Group_Scheduler_Table")) > highestBefore);
    QCOMPARE(s.number(QStringLiteral("SELECT Block_Internet FROM Group_Table")), 1);
    QCOMPARE(s.number(QStringLiteral("SELECT Apply_Groupwise_Settings FROM Group_Table")), 1);
}

void TestScheduleModel::emptiedListAnsweredYes() {
    Setup s;
    QVERIFY(s.ready());
    s.model.open(s.group());
    s.model.removeRanges({0, 1});
    QVERIFY(s.model.applyNeedsAnswer());
    QCOMPARE(s.model.apply(ScheduleModel::EmptyAnswer::Yes), ScheduleModel::ApplyResult::Applied);
    QCOMPARE(s.number(QStringLiteral("SELECT Schedule_Type FROM Group_Table")), 0);
    QCOMPARE(s.ranges(QStringLiteral("Group_Scheduler_Table")).size(), 2);
    QCOMPARE(s.model.recurrence(), ScheduleModel::Daily);
    QCOMPARE(s.model.weekDayMask(), 0);
    QVERIFY(!s.model.applyEnabled());
    // The member with settings of its own keeps them and hears them again.
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList{kStamp + QStringLiteral("0|")});
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList{kStamp + QStringLiteral("1|True|0|")});
    s.model.open(s.group());
    QVERIFY(s.model.ranges().isEmpty());
}

void TestScheduleModel::emptiedListAnsweredNo() {
    Setup s;
    QVERIFY(s.ready());
    s.model.open(s.system(s.pc1, QStringLiteral("pc1")));
    s.model.clear();
    const QStringList before = s.dump();
    QCOMPARE(s.model.apply(ScheduleModel::EmptyAnswer::No), ScheduleModel::ApplyResult::Applied);
    QCOMPARE(s.dump(), before);
    QCOMPARE(texts(s.model.ranges()), (QStringList{u"08:00 AM-09:00 AM"_s, u"01:00 PM-02:30 PM"_s}));
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1),
             QStringList{kStamp +
                         QStringLiteral("2|True|2|08:00 AM|09:00 AM|2|34|0|01:00 PM|02:30 PM|2|34|0|0|")});
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList());
}

void TestScheduleModel::applyEnabling() {
    Setup s;
    s.model.open(s.group());
    QVERIFY(!s.model.applyEnabled());
    s.model.setMonth(3, true);
    QVERIFY(s.model.applyEnabled());
    s.model.apply();
    QVERIFY(!s.model.applyEnabled());

    s.model.removeRanges({0, 1});
    QVERIFY(s.model.applyEnabled());
    s.model.apply(ScheduleModel::EmptyAnswer::Yes);
    // With an empty list, recurrence, days and months offer nothing to apply.
    s.model.setRecurrence(ScheduleModel::Monthly);
    s.model.setWeekDay(2, true);
    s.model.setMonth(2, true);
    s.model.removeRanges({0});
    QVERIFY(!s.model.applyEnabled());
    s.model.setBlockInternet(true);
    QVERIFY(s.model.applyEnabled());
    s.model.apply(ScheduleModel::EmptyAnswer::No);
    QVERIFY(!s.model.applyEnabled());
    s.model.clear();
    QVERIFY(s.model.applyEnabled());
}

void TestScheduleModel::pickersFollowSelectionAndClear() {
    Setup s;
    s.model.open(s.group());
    s.model.selectRange(1);
    QCOMPARE(s.model.startTime(), QTime(13, 0));
    QCOMPARE(s.model.stopTime(), QTime(14, 30));
    s.h.clock().set(QDateTime(QDate(2026, 3, 12), QTime(16, 42, 31)));
    s.model.clear();
    QCOMPARE(s.model.startTime(), QTime(16, 42));
    QCOMPARE(s.model.stopTime(), QTime(16, 42));
    QVERIFY(s.model.ranges().isEmpty());
    QVERIFY(!s.model.blockInternet());
}

void TestScheduleModel::deletedMeanwhile_data() {
    QTest::addColumn<bool>("group");
    QTest::addColumn<bool>("emptied");
    QTest::newRow("group") << true << false;
    QTest::newRow("group, emptied list") << true << true;
    QTest::newRow("system") << false << false;
    QTest::newRow("system, emptied list") << false << true;
}

void TestScheduleModel::deletedMeanwhile() {
    QFETCH(bool, group);
    QFETCH(bool, emptied);
    Setup s;
    QVERIFY(s.ready());
    s.model.open(group ? s.group() : s.system(s.pc1, QStringLiteral("pc1")));
    if (emptied)
        s.model.removeRanges({0, 1});
    else
        s.addRange(QTime(18, 0), QTime(19, 0));
    if (group)
        s.h.db().exec(QStringLiteral("DELETE FROM Group_Table"));
    else
        s.h.db().exec(QStringLiteral("DELETE FROM System_Table WHERE System_Key=?"), {s.pc1});
    const QStringList before = s.dump();
    QCOMPARE(s.model.apply(ScheduleModel::EmptyAnswer::Yes), ScheduleModel::ApplyResult::OwnerMissing);
    QCOMPARE(s.dump(), before);
    QVERIFY(s.model.applyEnabled());
    QCOMPARE(s.model.ownerGoneMessage(), group ? QStringLiteral("The group 'Lab' no longer exists.")
                                               : QStringLiteral("The client 'pc1' no longer exists."));
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList());
}

QTEST_GUILESS_MAIN(TestScheduleModel)
#include "tst_schedulemodel.moc"
