#include "EditorScene.h"
#include "PolicyRows.h"
#include "core/policy/ScheduleModel.h"

#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

// Lab keeps two weekly ranges on Monday and Friday; pc2 has its own internet on.
struct Setup : EditorScene {
    ScheduleModel model{db, clock, *this};

    Setup() {
        db.exec(u"UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Key=?"_s, {pc2});
        db.exec(u"UPDATE Group_Table SET Schedule_Type=2, Block_Internet=1"_s);
        PolicyRows::addGroupRange(db, lab, u"08:00 AM,09:00 AM,2,34,0"_s);
        PolicyRows::addGroupRange(db, lab, u"01:00 PM,02:30 PM,2,34,0"_s);
    }
    static QList<int> numbers(const QString& list) {
        QList<int> out;
        for (const QString& n : list.split(u',', Qt::SkipEmptyParts))
            out << n.toInt();
        return out;
    }
    // The ranges, the recurrence with its masks, the pickers and the block box.
    QString view() const {
        QStringList ranges;
        for (const ScheduleModel::Range& r : model.ranges())
            ranges << r.start + u'-' + r.stop;
        return u"[%1 %2%3/%4 %5-%6%7]"_s.arg(ranges.join(u','), QString(u"DWM"_s.at(model.recurrence())))
            .arg(model.weekDayMask())
            .arg(model.monthMask())
            .arg(model.startTime().toString(u"HH:mm"_s), model.stopTime().toString(u"HH:mm"_s),
                 model.blockInternet() ? u" block"_s : QString());
    }
    QString apply(ScheduleModel::EmptyAnswer answer) {
        switch (model.apply(answer)) {
        case ScheduleModel::ApplyResult::Applied:
            return u"applied"_s;
        case ScheduleModel::ApplyResult::OwnerMissing:
            return model.ownerGoneMessage();
        case ScheduleModel::ApplyResult::NothingChosen:
            break;
        }
        return u"nothing chosen"_s;
    }
    QString run(const QString& step) {
        const QString verb = step.section(u' ', 0, 0), rest = step.section(u' ', 1);
        if (verb == u"open")
            model.open(target(rest));
        else if (verb == u"add") {
            model.setStartTime(QTime::fromString(rest.section(u'-', 0, 0)));
            model.setStopTime(QTime::fromString(rest.section(u'-', 1)));
            const auto added = model.add();
            return added == ScheduleModel::AddResult::Added          ? u"added"_s
                   : added == ScheduleModel::AddResult::LimitReached ? u"limit"_s
                                                                     : u"refused"_s;
        } else if (verb == u"remove")
            model.removeRanges(numbers(rest));
        else if (verb == u"every")
            model.setRecurrence(ScheduleModel::Recurrence(u"DWM"_s.indexOf(rest)));
        else if (verb == u"days")
            for (int day = 0; day < 7; ++day)
                model.setWeekDay(day, numbers(rest).contains(day));
        else if (verb == u"months")
            for (int month = 0; month < 12; ++month)
                model.setMonth(month, numbers(rest).contains(month));
        else if (verb == u"block")
            model.setBlockInternet(rest == u"on");
        else if (verb == u"select")
            model.selectRange(rest.toInt());
        else if (verb == u"clear")
            model.clear();
        else if (verb == u"clock")
            clock.set(QDateTime(clock.now().date(), QTime::fromString(rest)));
        else if (verb == u"apply")
            return apply(rest == u"no" ? ScheduleModel::EmptyAnswer::No : ScheduleModel::EmptyAnswer::Yes);
        else if (verb == u"can")
            return model.applyEnabled() ? u"can"_s : u"cannot"_s;
        else if (verb == u"asks")
            return model.applyNeedsAnswer() ? u"asks"_s : u"does not ask"_s;
        else if (verb == u"view")
            return view();
        else
            db.exec(step);
        return {};
    }
};

const QString kStart =
    u"Lab/2/1/0, pc1/0/0, pc2/1/1, group/08:00 AM/09:00 AM/2/34/0, group/01:00 PM/02:30 PM/2/34/0"_s;

void row(const char* name, const QString& steps, const QString& log, const QString& sent = {},
         const QString& stored = {}) {
    QTest::newRow(name) << steps << log << sent << stored;
}

} // namespace

class TestScheduleModel : public QObject {
    Q_OBJECT
private slots:
    void edit_data();
    void edit();
};

// Steps separated by '|', what the steps report, whom a schedule was sent to and what is stored after
// them (empty: as at the start).
void TestScheduleModel::edit_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("stored");
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
    row("start equal to stop", u"open group|add 21:00-21:00|can"_s, u"refused cannot"_s);
    row("across midnight", u"open group|add 22:00-02:00|can"_s, u"refused cannot"_s);
    row("stop a minute before start", u"open group|add 09:30-09:29|can"_s, u"refused cannot"_s);
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

void TestScheduleModel::edit() {
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
    QCOMPARE(s.stored(u"Apply_Systemwise_Settings, Schedule_Type"_s,
                      u"Schedule_Type, Block_Internet, Apply_Groupwise_Settings"_s),
             stored.isEmpty() ? kStart : stored);
}

QTEST_GUILESS_MAIN(TestScheduleModel)
#include "tst_schedulemodel.moc"
