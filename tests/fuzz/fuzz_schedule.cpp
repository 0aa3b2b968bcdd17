// Schedule ranges and timer periods as the editors take them, at any moment of the clock, and the time
// texts read back from the database. What Apply stores must open again unchanged and reach the client
// service in the "S" message as stored; no stored text, however odd, may break the reading.

#include "FuzzSupport.h"
#include "TempDatabase.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"
#include "core/link/ConnectionManager.h"
#include "core/link/Messenger.h"
#include "core/policy/ScheduleModel.h"
#include "core/policy/SchedulePayload.h"
#include "core/policy/TimerModel.h"
#include "core/startup/Clock.h"
#include "core/startup/StoredTimer.h"
#include "core/startup/TimeText.h"
#include "protocol/ConsoleTimeText.h"
#include "protocol/Fields.h"
#include "protocol/Messages.h"
#include "protocol/ScheduleOrder.h"
#include "protocol/WireCodec.h"

using namespace kestrava;

namespace {

const QString kGroupKey = QStringLiteral("g\u00c7LAB");
const QString kSystemKey = QStringLiteral("c\u00c7id-1\u00c7PC-1\u00c7");

struct State {
    TempDatabase temp;
    FixedClock clock{QDateTime(QDate(2026, 3, 12), QTime(10, 0))};
    SystemTree tree;
    ConnectionManager connections{temp.db(), tree};
    Messenger messenger{temp.db(), tree, connections, clock};
};

State* state = nullptr;

QStringList sentSchedule() {
    const QString message = encodeSchedule(Get_System_Schedule(state->temp.db(), state->clock, kSystemKey));
    const QStringList parts =
        Messages::payloadOf(WireCodec::decodeSingleByte(WireCodec::encode(message))).split(kFieldSeparator);
    return parts.size() < 2 ? QStringList() : parts.mid(1, parts.size() - 2);
}

PolicyTarget target(bool system) {
    PolicyTarget chosen{kGroupKey, QStringLiteral("Lab"), {}, {}};
    if (system) {
        chosen.systemKey = kSystemKey;
        chosen.systemName = QStringLiteral("PC-1");
    }
    return chosen;
}

QTime timeFrom(fuzz::Input& input) {
    const int hour = input.number(24);
    const int minute = input.number(60);
    return QTime(hour, minute);
}

void schedules(fuzz::Input& input, bool system) {
    ScheduleModel model(state->temp.db(), state->clock, state->messenger);
    model.open(target(system));
    const int ranges = input.number(12);
    for (int i = 0; i < ranges; ++i) {
        model.setStartTime(timeFrom(input));
        model.setStopTime(timeFrom(input));
        model.add();
    }
    model.setRecurrence(static_cast<ScheduleModel::Recurrence>(input.number(3)));
    const int weekDays = input.byte();
    const int months = input.word();
    for (int day = 0; day < 7; ++day)
        model.setWeekDay(day, (weekDays & (1 << day)) != 0);
    for (int month = 0; month < 12; ++month)
        model.setMonth(month, (months & (1 << month)) != 0);
    if (input.flag() && !model.ranges().isEmpty())
        model.removeRanges({input.number(static_cast<int>(model.ranges().size()))});
    fuzz::check(model.apply() == ScheduleModel::ApplyResult::Applied, "a schedule could not be applied");

    // An emptied list leaves a system following its group, whose schedules then show.
    if (system && model.ranges().isEmpty())
        return;
    ScheduleModel reopened(state->temp.db(), state->clock, state->messenger);
    reopened.open(target(system));
    fuzz::check(reopened.ranges().size() == model.ranges().size(), "the ranges do not open again");
    for (qsizetype i = 0; i < model.ranges().size(); ++i)
        fuzz::check(reopened.ranges()[i].start == model.ranges()[i].start &&
                        reopened.ranges()[i].stop == model.ranges()[i].stop,
                    "a range opens again otherwise", model.ranges()[i].start);
    if (model.ranges().isEmpty())
        return;
    fuzz::check(reopened.recurrence() == model.recurrence(), "the recurrence opens again otherwise");
    if (model.recurrence() == ScheduleModel::Weekly)
        fuzz::check(reopened.weekDayMask() == model.weekDayMask(), "the week days open again otherwise");
    if (model.recurrence() == ScheduleModel::Monthly)
        fuzz::check(reopened.monthMask() == model.monthMask(), "the months open again otherwise");

    const QStringList fields = sentSchedule();
    const qsizetype count = model.ranges().size();
    fuzz::check(fields.size() == 4 + 5 * count + 1, "the schedule message has another number of fields",
                fields.join(QLatin1Char('|')));
    fuzz::check(fields.at(1) == QLatin1String("2") && fields.at(3) == QString::number(count),
                "the schedule message announces something else", fields.join(QLatin1Char('|')));
    for (qsizetype i = 0; i < count; ++i) {
        const QTime start = TimeText::parseScheduleTime(fields.at(4 + 5 * i));
        const QTime stop = TimeText::parseScheduleTime(fields.at(5 + 5 * i));
        fuzz::check(start.isValid() && stop.isValid() && start < stop, "a sent range is no range",
                    fields.join(QLatin1Char('|')));
    }
}

void timer(fuzz::Input& input, bool system) {
    TimerModel model(state->temp.db(), state->clock, state->messenger);
    model.open(target(system));
    const bool on = input.flag();
    model.setOnTimer(on);
    const QTime period = timeFrom(input);
    model.setPeriod(period);
    fuzz::check(model.apply() == TimerModel::ApplyResult::Applied, "a timer could not be applied");
    const bool runs = period > QTime(0, 0);
    QStringList fields = sentSchedule();
    fuzz::check(fields.size() > 1 && fields.at(1) == (runs ? QLatin1String("3") : QLatin1String("1")),
                "a timer just applied is sent in the wrong state", fields.join(QLatin1Char('|')));
    state->clock.advance(QTime(0, 0).secsTo(period));
    fields = sentSchedule();
    fuzz::check(fields.size() > 2 && fields.at(1) == QLatin1String("1") &&
                    fields.at(2) == (on ? QLatin1String("False") : QLatin1String("True")),
                "a timer that is over is sent in the wrong state", fields.join(QLatin1Char('|')));
}

// Texts that the database may hold in its time columns.
void storedTexts(fuzz::Input& input) {
    const QString text = QString::fromUtf8(input.chunk());
    const QTime scheduleTime = TimeText::parseScheduleTime(text);
    if (scheduleTime.isValid())
        fuzz::check(TimeText::parseScheduleTime(ConsoleTimeText::rangeTime(scheduleTime)) == scheduleTime,
                    "a schedule time does not survive its own text", text);
    const QDateTime at = TimeText::parseStoredDateTime(text);
    if (at.isValid())
        fuzz::check(TimeText::parseStoredDateTime(TimeText::storedDateTime(at)) == at,
                    "a stored date-time does not survive its own text", text);
    const StoredTimer stored = StoredTimer::fromColumns(text.left(1), text, text.mid(1));
    stored.runsAt(state->clock.now());
    Database& db = state->temp.db();
    db.exec(
        QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=1, Schedule_Type=3, Timer_Type=?, "
                       "Timer_Starttime=?, Timer_Period=? WHERE System_Key=?"),
        {text.left(1), text, text.mid(1), kSystemKey});
    Get_System_Schedule(db, state->clock, kSystemKey);
    db.exec(QStringLiteral(
                "INSERT INTO System_Scheduler_Table(System_ID,Start_Time,Stop_Time,DailyWeeklyMonthly) "
                "SELECT System_ID,?,?,? FROM System_Table WHERE System_Key=?"),
            {text, text.mid(1), input.byte(), kSystemKey});
    db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=2 WHERE System_Key=?"), {kSystemKey});
    Get_System_Schedule(db, state->clock, kSystemKey);
    ScheduleModel model(db, state->clock, state->messenger);
    model.open(target(true));
    // The console never writes such rows; later steps start without them.
    db.exec(QStringLiteral("DELETE FROM System_Scheduler_Table"));
    db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=0"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startApplication(argc, argv);
    static State instance;
    state = &instance;
    return 0;
}

// Input: the clock, then steps, each a byte choosing schedules, a timer or stored texts.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    Database& db = state->temp.db();
    db.exec(QStringLiteral("DELETE FROM Group_Table"));
    db.exec(QStringLiteral("DELETE FROM System_Table"));
    db.exec(QStringLiteral("DELETE FROM Group_Scheduler_Table"));
    db.exec(QStringLiteral("DELETE FROM System_Scheduler_Table"));
    db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"),
            {kGroupKey, QStringLiteral("Lab")});
    db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,"
                           "(SELECT Group_ID FROM Group_Table WHERE Group_Key=?))"),
            {kSystemKey, QStringLiteral("PC-1"), kGroupKey});
    Load_Systems_Tree(db, state->tree);

    const QDate date = QDate(1990, 1, 1).addDays(input.word());
    const QTime minute = timeFrom(input);
    const QTime time(minute.hour(), minute.minute(), input.number(60));
    state->clock.set(QDateTime(date, time));
    for (int step = 0; step < 4 && !input.atEnd(); ++step) {
        const int what = input.number(5);
        if (what == 4)
            storedTexts(input);
        else if (what >= 2)
            timer(input, what == 3);
        else
            schedules(input, what == 1);
    }
    return 0;
}
