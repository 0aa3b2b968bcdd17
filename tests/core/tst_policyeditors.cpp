#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/policy/PolicyTarget.h"
#include "core/policy/ScheduleModel.h"
#include "core/policy/ScheduleSender.h"
#include "core/policy/TimerModel.h"
#include "core/startup/Clock.h"

#include <QSqlRecord>
#include <QTest>
#include <functional>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

// The group Lab with pc1, which follows it, and pc2, which has settings of its own, under both editors;
// it remembers whom the editors told to send a schedule: the name, "group" for the group's members.
struct Scene : ScheduleSender {
    TempDatabase temp;
    Database& db = temp.db();
    FixedClock clock{QDateTime(QDate(2026, 3, 12), QTime(10, 0))};
    QString labKey = PolicyRows::groupKey(u"Lab"_s);
    int lab = PolicyRows::addGroup(db, u"Lab"_s);
    QString pc1 = PolicyRows::addSystem(db, u"id1"_s, u"pc1"_s, lab);
    QString pc2 = PolicyRows::addSystem(db, u"id2"_s, u"pc2"_s, lab, true);
    ScheduleModel schedule{db, clock, *this};
    TimerModel timer{db, clock, *this};
    QStringList sent;

    void sendScheduleToSystem(const QString& key) override {
        sent << (key == pc1 ? u"pc1"_s : key == pc2 ? u"pc2"_s : key);
    }
    void Enumerate_Childs_And_Send_Scheduler(const QString& key) override {
        sent << (key == labKey ? u"group"_s : key);
    }
    // "group", "pc1", "pc2" or anything else for nothing chosen.
    PolicyTarget target(const QString& name) const {
        if (name == u"group")
            return {labKey, u"Lab"_s, {}, {}};
        if (name == u"pc1" || name == u"pc2")
            return {labKey, u"Lab"_s, name == u"pc1" ? pc1 : pc2, name};
        return {};
    }
    // Groups, systems and both schedule tables with the columns the editor writes, one row after another.
    QString stored(const QString& systemColumns, const QString& groupColumns) {
        QStringList lines;
        const auto add = [&](const QString& sql) {
            for (const QSqlRecord& r : db.rows(sql)) {
                QStringList values;
                for (int i = 0; i < r.count(); ++i)
                    values << r.value(i).toString();
                lines << values.join(u'/');
            }
        };
        add(u"SELECT Group_Name, %1 FROM Group_Table"_s.arg(groupColumns));
        add(u"SELECT System_Name, %1 FROM System_Table ORDER BY System_ID"_s.arg(systemColumns));
        const QString ranges = u"Start_Time, Stop_Time, DailyWeeklyMonthly, WeekDays, Months"_s;
        add(u"SELECT 'group', %1 FROM Group_Scheduler_Table ORDER BY ID"_s.arg(ranges));
        add(u"SELECT 'system', %1 FROM System_Scheduler_Table ORDER BY ID"_s.arg(ranges));
        return lines.join(u", "_s);
    }
    // Runs the steps ('|' between them: SQL, "clock", or the editor's own) and compares what they
    // report, whom a schedule went to and what is stored (empty: as at the start) with the row's.
    void check(const std::function<QString(const QString&, const QString&)>& editor, const QString& columns,
               const QString& groupColumns, const QString& start) {
        QFETCH(QString, steps);
        QFETCH(QString, log);
        QFETCH(QString, to);
        QFETCH(QString, state);
        QStringList said;
        for (const QString& step : steps.split(u'|')) {
            const QString verb = step.section(u' ', 0, 0), rest = step.section(u' ', 1);
            if (verb.front().isUpper())
                db.exec(step);
            else if (verb == u"clock")
                clock.set(QDateTime(clock.now().date(), QTime::fromString(rest, Qt::ISODateWithMs)));
            else if (const QString answer = editor(verb, rest); !answer.isEmpty())
                said << answer;
        }
        QCOMPARE(said.join(u' '), log);
        QCOMPARE(sent.join(u' '), to);
        QCOMPARE(stored(columns, groupColumns), state.isEmpty() ? start : state);
    }
};

template <typename Model> QString applied(typename Model::ApplyResult result, const Model& model) {
    return result == Model::ApplyResult::Applied        ? u"applied"_s
           : result == Model::ApplyResult::OwnerMissing ? model.ownerGoneMessage()
                                                        : u"nothing chosen"_s;
}

QList<int> numbers(const QString& list) {
    QList<int> out;
    for (const QString& n : list.split(u',', Qt::SkipEmptyParts))
        out << n.toInt();
    return out;
}

void columns() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("state");
}

void row(const char* name, const QString& steps, const QString& log, const QString& to = {},
         const QString& state = {}) {
    QTest::newRow(name) << steps << log << to << state;
}

const QString kScheduleStart =
    u"Lab/2/1/0, pc1/0/0, pc2/1/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0"_s;
const QString kTimerStart = u"Lab/1/F/2026-03-01 08:00:00/02:15/0, pc1/0/0/N/2026-03-01 08:00:00/00:45, "
                            "pc2/1/0/N/2026-03-01 08:00:00/00:45"_s;

} // namespace

class TestPolicyEditors : public QObject {
    Q_OBJECT
private slots:
    void schedule_data();
    void schedule();
    void timer_data();
    void timer();
};

// The ranges, the recurrence with its masks, the pickers and the block box are shown by "view".
void TestPolicyEditors::schedule_data() {
    columns();
    row("group opens with its ranges", u"open group|view|can"_s,
        u"[08:00 AM-09:00 AM,01:00 PM-02:30 PM W34/0 08:00-09:00 block] cannot"_s);
    row("following system shows its group's, Apply gives it its own",
        u"UPDATE Group_Table SET Apply_Groupwise_Settings=1|open pc1|view|add 18:00-19:45|apply"_s,
        u"[08:00 AM-09:00 AM,01:00 PM-02:30 PM W34/0 08:00-09:00 block] added applied"_s, u"pc1"_s,
        u"Lab/2/1/0, pc1/1/2, pc2/1/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0, "
        "system/08:00 AM/09:00 AM/2/34/0, system/01:00 PM/02:30 PM/2/34/0, "
        "system/06:00 PM/07:45 PM/2/34/0"_s);
    row("system with another policy of its own opens empty",
        u"INSERT INTO System_Scheduler_Table(System_ID, Start_Time, Stop_Time, DailyWeeklyMonthly) VALUES(2, "
        "'07:00 AM', '08:00 AM', 1)|open pc2|view"_s,
        u"[ D0/0 10:00-10:00]"_s, u""_s,
        u"Lab/2/1/0, pc1/0/0, pc2/1/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0, "
        "system/07:00 AM/08:00 AM/1/0/0"_s);
    QString ten = u"open group"_s;
    for (int hour = 10; hour < 19; ++hour)
        ten += u"|add %1:00-%1:30"_s.arg(hour);
    row("ten ranges at most", ten, u"added added added added added added added added limit"_s);
    // Compared to the minute: a stop in the start's minute is no range.
    row("same minute, other seconds", u"open group|add 09:30:10-09:30:50|can"_s, u"refused cannot"_s);
    const QString twoRanges = u"|add 09:00-12:00|add 21:05-23:59|apply"_s;
    row("weekly, Monday and Friday", u"open group|remove 0,1|every W|days 1,5|months 0"_s + twoRanges,
        u"added added applied"_s, u"group"_s,
        u"Lab/2/1/1, pc1/0/0, pc2/0/1, group/09:00 AM/12:00 PM/2/34/0, group/09:05 PM/11:59 PM/2/34/0"_s);
    row("monthly, January and December", u"open group|remove 0,1|every M|days 3|months 0,11"_s + twoRanges,
        u"added added applied"_s, u"group"_s,
        u"Lab/2/1/1, pc1/0/0, pc2/0/1, group/09:00 AM/12:00 PM/3/0/2049, group/09:05 PM/11:59 PM/3/0/2049"_s);
    row("daily, without days and months", u"open group|remove 0,1|every D|days 1,2|months 4"_s + twoRanges,
        u"added added applied"_s, u"group"_s,
        u"Lab/2/1/1, pc1/0/0, pc2/0/1, group/09:00 AM/12:00 PM/1/0/0, group/09:05 PM/11:59 PM/1/0/0"_s);
    row("Apply replaces the ranges and stores blocking set", u"open group|block off|remove 1|apply"_s,
        u"applied"_s, u"group"_s, u"Lab/2/1/1, pc1/0/0, pc2/0/1, group/08:00 AM/09:00 AM/2/34/0"_s);
    row("emptied list, answered yes", u"open group|remove 0,1|asks|apply yes|view|can|open group|view"_s,
        u"asks applied [ D0/0 10:00-10:00] cannot [ D0/0 10:00-10:00]"_s, u"group"_s,
        u"Lab/0/1/0, pc1/0/0, pc2/1/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0"_s);
    row("emptied list, answered no", u"open pc1|clear|asks|apply no|view"_s,
        u"asks applied [08:00 AM-09:00 AM,01:00 PM-02:30 PM W34/0 08:00-09:00 block]"_s, u"pc1"_s);
    row("Apply offered after a change",
        u"open group|can|months 3|can|apply|can|remove 0,1|can|apply yes|every M|days 2|months 2|can|block "
        "on|can|apply no|can|clear|can"_s,
        u"cannot can applied cannot can applied cannot can applied cannot can"_s, u"group group group"_s,
        u"Lab/0/1/1, pc1/0/0, pc2/0/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0"_s);
    row("pickers follow the selection, Clear takes the clock",
        u"open group|select 1|view|clock 16:42:31|clear|view"_s,
        u"[08:00 AM-09:00 AM,01:00 PM-02:30 PM W34/0 13:00-14:30 block] [ D0/0 16:42-16:42]"_s);
    row("nothing chosen", u"open none|apply"_s, u"nothing chosen"_s);
    row("group deleted meanwhile", u"open group|add 18:00-19:00|DELETE FROM Group_Table|apply|can"_s,
        u"added The group 'Lab' no longer exists. can"_s, u""_s,
        u"pc1/0/0, pc2/1/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0"_s);
    row("system deleted meanwhile",
        u"open pc1|add 18:00-19:00|DELETE FROM System_Table WHERE System_Name='pc1'|apply|can"_s,
        u"added The client 'pc1' no longer exists. can"_s, u""_s,
        u"Lab/2/1/0, pc2/1/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0"_s);
}

// Lab keeps two weekly ranges on Monday and Friday; pc2 has its own internet on.
void TestPolicyEditors::schedule() {
    Scene s;
    s.db.exec(u"UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Key=?"_s, {s.pc2});
    s.db.exec(u"UPDATE Group_Table SET Schedule_Type=2, Block_Internet=1"_s);
    PolicyRows::addGroupRange(s.db, s.lab, u"08:00 AM,09:00 AM,2,34,0"_s);
    PolicyRows::addGroupRange(s.db, s.lab, u"01:00 PM,02:30 PM,2,34,0"_s);
    ScheduleModel& m = s.schedule;
    const auto editor = [&](const QString& verb, const QString& rest) -> QString {
        if (verb == u"open")
            m.open(s.target(rest));
        else if (verb == u"add") {
            m.setStartTime(QTime::fromString(rest.section(u'-', 0, 0)));
            m.setStopTime(QTime::fromString(rest.section(u'-', 1)));
            const auto added = m.add();
            return added == ScheduleModel::AddResult::Added          ? u"added"_s
                   : added == ScheduleModel::AddResult::LimitReached ? u"limit"_s
                                                                     : u"refused"_s;
        } else if (verb == u"remove")
            m.removeRanges(numbers(rest));
        else if (verb == u"every")
            m.setRecurrence(ScheduleModel::Recurrence(u"DWM"_s.indexOf(rest)));
        else if (verb == u"days")
            for (int day = 0; day < 7; ++day)
                m.setWeekDay(day, numbers(rest).contains(day));
        else if (verb == u"months")
            for (int month = 0; month < 12; ++month)
                m.setMonth(month, numbers(rest).contains(month));
        else if (verb == u"block")
            m.setBlockInternet(rest == u"on");
        else if (verb == u"select")
            m.selectRange(rest.toInt());
        else if (verb == u"clear")
            m.clear();
        else if (verb == u"apply")
            return applied(
                m.apply(rest == u"no" ? ScheduleModel::EmptyAnswer::No : ScheduleModel::EmptyAnswer::Yes), m);
        else if (verb == u"can")
            return m.applyEnabled() ? u"can"_s : u"cannot"_s;
        else if (verb == u"asks")
            return m.applyNeedsAnswer() ? u"asks"_s : u"does not ask"_s;
        else if (verb == u"view") {
            QStringList ranges;
            for (const ScheduleModel::Range& r : m.ranges())
                ranges << r.start + u'-' + r.stop;
            return u"[%1 %2%3/%4 %5-%6%7]"_s.arg(ranges.join(u','), QString(u"DWM"_s.at(m.recurrence())))
                .arg(m.weekDayMask())
                .arg(m.monthMask())
                .arg(m.startTime().toString(u"HH:mm"_s), m.stopTime().toString(u"HH:mm"_s),
                     m.blockInternet() ? u" block"_s : QString());
        }
        return {};
    };
    s.check(editor, u"Apply_Systemwise_Settings, Schedule_Type"_s,
            u"Schedule_Type, Block_Internet, Apply_Groupwise_Settings"_s, kScheduleStart);
}

void TestPolicyEditors::timer_data() {
    columns();
    row("group shows its timer", u"off|period 05:05|open group|view|can"_s, u"[OFF 02:15:00] cannot"_s);
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

// Lab keeps an OFF timer of 02:15; both systems keep an ON timer of 00:45, pc1's unused while it follows.
void TestPolicyEditors::timer() {
    Scene s;
    s.db.exec(u"UPDATE Group_Table SET Schedule_Type=1, OnInternet=1, Timer_Type='F', "
              "Timer_Starttime='2026-03-01 08:00:00', Timer_Period='02:15'"_s);
    s.db.exec(u"UPDATE System_Table SET Timer_Type='N', Timer_Starttime='2026-03-01 08:00:00', "
              "Timer_Period='00:45'"_s);
    TimerModel& m = s.timer;
    const auto editor = [&](const QString& verb, const QString& rest) -> QString {
        if (verb == u"open")
            m.open(s.target(rest));
        else if (verb == u"on" || verb == u"off")
            m.setOnTimer(verb == u"on");
        else if (verb == u"period")
            m.setPeriod(QTime::fromString(rest));
        else if (verb == u"clear")
            m.clear();
        else if (verb == u"can")
            return m.applyEnabled() ? u"can"_s : u"cannot"_s;
        else if (verb == u"view")
            return (m.onTimer() ? u"[ON "_s : u"[OFF "_s) + m.period().toString(u"HH:mm:ss"_s) + u']';
        else if (verb == u"apply")
            return applied(m.apply(), m);
        return {};
    };
    s.check(editor, u"Apply_Systemwise_Settings, Schedule_Type, Timer_Type, Timer_Starttime, Timer_Period"_s,
            u"Schedule_Type, Timer_Type, Timer_Starttime, Timer_Period, Apply_Groupwise_Settings"_s,
            kTimerStart);
}

QTEST_GUILESS_MAIN(TestPolicyEditors)
#include "tst_policyeditors.moc"
