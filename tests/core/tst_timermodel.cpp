#include "ClientInbox.h"
#include "LabScene.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "core/policy/TimerModel.h"

#include <QTest>

using namespace kestrava;

namespace {

const QString kStamp = QStringLiteral("S|3/12/2026 10:00:02 AM|");

// Lab keeps an OFF timer of 02:15; pc1 follows it and keeps an old ON timer of its own; pc2 has its own
// ON timer of 00:45.
struct Setup : LabScene {
    TimerModel model{h.db(), h.clock(), h.messenger()};

    Setup() {
        db().exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=1, Timer_Type='F', "
                                 "Timer_Starttime='2026-03-01 08:00:00', Timer_Period='02:15'"));
        db().exec(
            QStringLiteral("UPDATE System_Table SET Timer_Type='N', Timer_Starttime='2026-03-01 08:00:00', "
                           "Timer_Period='00:45'"));
        connect();
    }
};

} // namespace

class TestTimerModel : public QObject {
    Q_OBJECT
private slots:
    void onTimerAppliedToGroupStartsNow();
    void offTimerOfZeroIsOverAtOnce();
    void editorShowsTheTimerThatGoverns_data();
    void editorShowsTheTimerThatGoverns();
    void applyEnablingAndClear();
    void deletedMeanwhile_data();
    void deletedMeanwhile();
};

void TestTimerModel::onTimerAppliedToGroupStartsNow() {
    Setup s;
    QVERIFY(s.ready());
    s.model.open(s.group());
    s.model.setOnTimer(true);
    s.model.setPeriod(QTime(1, 30));
    QCOMPARE(s.model.apply(), TimerModel::ApplyResult::Applied);

    QSqlQuery row =
        s.h.db().exec(QStringLiteral("SELECT Schedule_Type, Timer_Type, Timer_Starttime, Timer_Period, "
                                     "Apply_Groupwise_Settings, datetime(Timer_Starttime) FROM Group_Table"));
    QVERIFY(row.next());
    QCOMPARE(row.value(0).toInt(), 3);
    QCOMPARE(row.value(1).toString(), QStringLiteral("N"));
    QCOMPARE(row.value(2).toString(), QStringLiteral("2026-03-12 10:00:00"));
    QCOMPARE(row.value(3).toString(), QStringLiteral("01:30"));
    QCOMPARE(row.value(4).toInt(), 1);
    // A real date-time for the database too.
    QCOMPARE(row.value(5).toString(), QStringLiteral("2026-03-12 10:00:00"));
    QCOMPARE(s.number(QStringLiteral("SELECT sum(Apply_Systemwise_Settings) FROM System_Table")), 0);

    const QString running = QStringLiteral("3|N|3/12/2026 10:00:00 AM|3/12/2026 11:30:00 AM|0|");
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList{kStamp + running});
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList{kStamp + running});
}

void TestTimerModel::offTimerOfZeroIsOverAtOnce() {
    Setup s;
    QVERIFY(s.ready());
    s.h.db().exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1"));
    // Seconds and milliseconds of the moment of Apply are kept to the second.
    s.h.clock().set(QDateTime(QDate(2026, 3, 12), QTime(10, 0, 0, 750)));
    s.model.open(s.system(s.pc1, QStringLiteral("pc1")));
    s.model.setOnTimer(false);
    s.model.setPeriod(QTime(0, 0));
    QCOMPARE(s.model.apply(), TimerModel::ApplyResult::Applied);
    QCOMPARE(s.number(QStringLiteral("SELECT Apply_Systemwise_Settings FROM System_Table WHERE System_Key=?"),
                      {s.pc1}),
             1);
    QCOMPARE(
        s.h.db()
            .scalar(QStringLiteral("SELECT Timer_Starttime FROM System_Table WHERE System_Key=?"), {s.pc1})
            .toString(),
        QStringLiteral("2026-03-12 10:00:00"));
    QCOMPARE(s.number(QStringLiteral("SELECT Apply_Groupwise_Settings FROM Group_Table")), 0);
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList{kStamp + QStringLiteral("1|True|0|")});
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList());
}

void TestTimerModel::editorShowsTheTimerThatGoverns_data() {
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QTime>("period");
    QTest::newRow("group") << "group" << false << QTime(2, 15);
    QTest::newRow("system following its group") << "pc1" << false << QTime(2, 15);
    QTest::newRow("system with its own") << "pc2" << true << QTime(0, 45);
    QTest::newRow("nothing chosen") << "" << true << QTime(0, 0);
}

void TestTimerModel::editorShowsTheTimerThatGoverns() {
    QFETCH(QString, which);
    QFETCH(bool, on);
    QFETCH(QTime, period);
    Setup s;
    const PolicyTarget target = which == QLatin1String("group") ? s.group()
                                : which == QLatin1String("pc1") ? s.system(s.pc1, QStringLiteral("pc1"))
                                : which == QLatin1String("pc2") ? s.system(s.pc2, QStringLiteral("pc2"))
                                                                : PolicyTarget{};
    s.model.setOnTimer(!on);
    s.model.setPeriod(QTime(5, 5));
    s.model.open(target);
    QCOMPARE(s.model.onTimer(), on);
    QCOMPARE(s.model.period(), period);
    QVERIFY(!s.model.applyEnabled());
}

void TestTimerModel::applyEnablingAndClear() {
    Setup s;
    s.model.open(s.group());
    QVERIFY(!s.model.applyEnabled());
    s.model.setOnTimer(true);
    QVERIFY(s.model.applyEnabled());
    s.model.apply();
    QVERIFY(!s.model.applyEnabled());
    s.model.clear();
    QCOMPARE(s.model.period(), QTime(0, 0));
    QVERIFY(s.model.applyEnabled());
    s.model.setPeriod(QTime(23, 59, 30));
    QCOMPARE(s.model.period(), QTime(23, 59));
    s.model.open(PolicyTarget{});
    QCOMPARE(s.model.apply(), TimerModel::ApplyResult::NothingChosen);
}

void TestTimerModel::deletedMeanwhile_data() {
    QTest::addColumn<bool>("group");
    QTest::newRow("group") << true;
    QTest::newRow("system") << false;
}

void TestTimerModel::deletedMeanwhile() {
    QFETCH(bool, group);
    Setup s;
    QVERIFY(s.ready());
    s.model.open(group ? s.group() : s.system(s.pc1, QStringLiteral("pc1")));
    s.model.setPeriod(QTime(1, 0));
    if (group)
        s.h.db().exec(QStringLiteral("DELETE FROM Group_Table"));
    else
        s.h.db().exec(QStringLiteral("DELETE FROM System_Table WHERE System_Key=?"), {s.pc1});
    const QStringList before = s.dump();
    QCOMPARE(s.model.apply(), TimerModel::ApplyResult::OwnerMissing);
    QCOMPARE(s.dump(), before);
    QVERIFY(s.model.applyEnabled());
    QCOMPARE(s.model.ownerGoneMessage(), group ? QStringLiteral("The group 'Lab' no longer exists.")
                                               : QStringLiteral("The client 'pc1' no longer exists."));
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList());
}

QTEST_GUILESS_MAIN(TestTimerModel)
#include "tst_timermodel.moc"
