#include "EditorScene.h"
#include "core/policy/TimerModel.h"

#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

// Lab keeps an OFF timer of 02:15; both systems keep an ON timer of 00:45, pc1's unused while it follows.
struct Setup : EditorScene {
    TimerModel model{db, clock, *this};

    Setup() {
        db.exec(u"UPDATE Group_Table SET Schedule_Type=1, OnInternet=1, Timer_Type='F', "
                "Timer_Starttime='2026-03-01 08:00:00', Timer_Period='02:15'"_s);
        db.exec(u"UPDATE System_Table SET Timer_Type='N', Timer_Starttime='2026-03-01 08:00:00', "
                "Timer_Period='00:45'"_s);
    }
    QString run(const QString& step) {
        const QString verb = step.section(u' ', 0, 0), rest = step.section(u' ', 1);
        if (verb == u"open")
            model.open(target(rest));
        else if (verb == u"on" || verb == u"off")
            model.setOnTimer(verb == u"on");
        else if (verb == u"period")
            model.setPeriod(QTime::fromString(rest));
        else if (verb == u"clear")
            model.clear();
        else if (verb == u"clock")
            clock.set(QDateTime(clock.now().date(), QTime::fromString(rest, Qt::ISODateWithMs)));
        else if (verb == u"can")
            return model.applyEnabled() ? u"can"_s : u"cannot"_s;
        else if (verb == u"view")
            return (model.onTimer() ? u"[ON "_s : u"[OFF "_s) + model.period().toString(u"HH:mm:ss"_s) + u']';
        else if (verb == u"apply") {
            const TimerModel::ApplyResult result = model.apply();
            return result == TimerModel::ApplyResult::Applied        ? u"applied"_s
                   : result == TimerModel::ApplyResult::OwnerMissing ? model.ownerGoneMessage()
                                                                     : u"nothing chosen"_s;
        } else
            db.exec(step);
        return {};
    }
};

const QString kStart = u"Lab/1/F/2026-03-01 08:00:00/02:15/0, pc1/0/0/N/2026-03-01 08:00:00/00:45, "
                       "pc2/1/0/N/2026-03-01 08:00:00/00:45"_s;

void row(const char* name, const QString& steps, const QString& log, const QString& sent = {},
         const QString& stored = {}) {
    QTest::newRow(name) << steps << log << sent << stored;
}

} // namespace

class TestTimerModel : public QObject {
    Q_OBJECT
private slots:
    void edit_data();
    void edit();
};

// Steps separated by '|', what the steps report, whom a schedule was sent to and what is stored after
// them (empty: as at the start).
void TestTimerModel::edit_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("stored");
    row("group shows its timer", u"off|period 05:05|open group|view|can"_s, u"[OFF 02:15:00] cannot"_s);
    row("following system shows its group's", u"on|open pc1|view|can"_s, u"[OFF 02:15:00] cannot"_s);
    row("system with its own shows its own", u"off|open pc2|view|can"_s, u"[ON 00:45:00] cannot"_s);
    row("nothing chosen", u"off|period 05:05|open none|view|apply"_s, u"[ON 00:00:00] nothing chosen"_s);
    row("ON timer on a group starts now", u"open group|on|period 01:30|apply"_s, u"applied"_s, u"group"_s,
        u"Lab/3/N/2026-03-12 10:00:00/01:30/1, pc1/0/0/N/2026-03-01 08:00:00/00:45, "
        "pc2/0/0/N/2026-03-01 08:00:00/00:45"_s);
    // Seconds and milliseconds of the moment of Apply are dropped.
    row("OFF timer of zero on a following system",
        u"UPDATE Group_Table SET Apply_Groupwise_Settings=1|clock 10:00:00.750|open pc1|off|period 00:00|"
        "apply"_s,
        u"applied"_s, u"pc1"_s,
        u"Lab/1/F/2026-03-01 08:00:00/02:15/0, pc1/1/3/F/2026-03-12 10:00:00/00:00, "
        "pc2/1/0/N/2026-03-01 08:00:00/00:45"_s);
    row("Apply offered after a change, Clear", u"open group|can|on|can|apply|can|clear|view|can"_s,
        u"cannot can applied cannot [ON 00:00:00] can"_s, u"group"_s,
        u"Lab/3/N/2026-03-12 10:00:00/02:15/1, pc1/0/0/N/2026-03-01 08:00:00/00:45, "
        "pc2/0/0/N/2026-03-01 08:00:00/00:45"_s);
    row("period to the minute", u"period 23:59:30|view"_s, u"[ON 23:59:00]"_s);
    row("group deleted meanwhile", u"open group|period 01:00|DELETE FROM Group_Table|apply|can"_s,
        u"The group 'Lab' no longer exists. can"_s, {},
        u"pc1/0/0/N/2026-03-01 08:00:00/00:45, pc2/1/0/N/2026-03-01 08:00:00/00:45"_s);
    row("system deleted meanwhile",
        u"open pc1|period 01:00|DELETE FROM System_Table WHERE System_Name='pc1'|apply|can"_s,
        u"The client 'pc1' no longer exists. can"_s, {},
        u"Lab/1/F/2026-03-01 08:00:00/02:15/0, pc2/1/0/N/2026-03-01 08:00:00/00:45"_s);
}

void TestTimerModel::edit() {
    QFETCH(QString, steps);
    QFETCH(QString, log);
    QFETCH(QString, sent);
    QFETCH(QString, stored);
    Setup s;
    QStringList said;
    for (const QString& step : steps.split(u'|'))
        if (const QString answer = s.run(step); !answer.isEmpty())
            said << answer;
    QCOMPARE(said.join(u' '), log);
    QCOMPARE(s.sent.join(u' '), sent);
    QCOMPARE(
        s.stored(u"Apply_Systemwise_Settings, Schedule_Type, Timer_Type, Timer_Starttime, Timer_Period"_s,
                 u"Schedule_Type, Timer_Type, Timer_Starttime, Timer_Period, Apply_Groupwise_Settings"_s),
        stored.isEmpty() ? kStart : stored);
}

QTEST_GUILESS_MAIN(TestTimerModel)
#include "tst_timermodel.moc"
