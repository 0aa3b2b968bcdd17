#include "core/policy/SchedulePayload.h"

#include "core/console/Keys.h"
#include "core/startup/Clock.h"
#include "core/startup/LocalTimes.h"
#include "core/startup/StoredTimer.h"
#include "core/store/Database.h"
#include "core/store/PayloadCache.h"
#include "protocol/ConsoleTimeText.h"

#include <QSqlRecord>

namespace kestrava {

namespace {

// What a system's schedule says, apart from the stamp and whether its timer runs now.
struct SchedulePolicy {
    bool present = false;
    Schedule schedule;
    StoredTimer timer;
};

TimeRange rangeOf(const QSqlRecord& row) {
    return {
        ConsoleTimeText::parseRangeTime(row.value(QStringLiteral("Start_Time")).toString()).value_or(QTime()),
        ConsoleTimeText::parseRangeTime(row.value(QStringLiteral("Stop_Time")).toString()).value_or(QTime()),
        static_cast<TimeRange::Repeat>(row.value(QStringLiteral("DailyWeeklyMonthly")).toInt()),
        row.value(QStringLiteral("WeekDays")).toInt(), row.value(QStringLiteral("Months")).toInt()};
}

void readRanges(Database& db, const QSqlRecord& source, bool systemSource, Schedule& schedule) {
    const QList<QSqlRecord> rows =
        systemSource
            ? db.rows(QStringLiteral("SELECT * FROM System_Scheduler_Table WHERE System_ID=? ORDER BY ID"),
                      {source.value(QStringLiteral("System_ID"))})
            : db.rows(QStringLiteral("SELECT * FROM Group_Scheduler_Table WHERE Group_ID=? ORDER BY ID"),
                      {source.value(QStringLiteral("Group_ID"))});
    for (const QSqlRecord& row : rows)
        schedule.ranges << rangeOf(row);
    schedule.blockInRanges = source.value(QStringLiteral("Block_Internet")).toBool();
    // A group without rows sends no Block_Internet field; client services expect it that way.
    schedule.hasBlockFlag = systemSource || !rows.isEmpty();
}

SchedulePolicy policyOf(Database& db, const QSqlRecord& source, bool systemSource) {
    SchedulePolicy policy;
    const qint64 type = source.value(QStringLiteral("Schedule_Type")).toLongLong();
    if (type < 0 || type > 3)
        return policy;
    policy.present = true;
    policy.schedule.type = static_cast<Schedule::Type>(type);
    switch (policy.schedule.type) {
    case Schedule::Type::None:
        break;
    case Schedule::Type::OnOff:
        policy.schedule.internetOn = source.value(QStringLiteral("OnInternet")).toBool();
        break;
    case Schedule::Type::Ranges:
        readRanges(db, source, systemSource, policy.schedule);
        break;
    case Schedule::Type::Timer:
        policy.timer = StoredTimer::fromColumns(source.value(QStringLiteral("Timer_Type")),
                                                source.value(QStringLiteral("Timer_Starttime")),
                                                source.value(QStringLiteral("Timer_Period")));
        break;
    }
    return policy;
}

// A running timer goes as it is; an ON timer that is over leaves internet off, an OFF timer leaves it on,
// and one of another type goes as its type alone.
Schedule timerSchedule(const QDateTime& now, const StoredTimer& timer) {
    Schedule schedule;
    if (timer.runsAt(now)) {
        schedule.type = Schedule::Type::Timer;
        schedule.timerType = timer.type.isEmpty() ? QChar() : timer.type.front();
        schedule.timerStart = timer.start;
        schedule.timerEnd = timer.end();
    } else if (timer.type == QLatin1String("N") || timer.type == QLatin1String("F")) {
        schedule.type = Schedule::Type::OnOff;
        schedule.internetOn = timer.type == QLatin1String("F");
    } else {
        schedule.type = Schedule::Type::Timer;
    }
    return schedule;
}

// Read once for all the members that follow the group.
SchedulePolicy groupPolicy(Database& db, const QVariant& groupId) {
    thread_local PayloadCache<SchedulePolicy> groups;
    return groups.get(db, groupId.toString(), [&] {
        const std::optional<QSqlRecord> found = db.firstRow(
            QStringLiteral("SELECT Group_ID, Schedule_Type, OnInternet, Block_Internet, Timer_Type, "
                           "Timer_Starttime, Timer_Period FROM Group_Table WHERE Group_ID=?"),
            {groupId});
        return found ? policyOf(db, *found, false) : SchedulePolicy{};
    });
}

SchedulePolicy readPolicy(Database& db, const QString& systemKey) {
    const std::optional<QSqlRecord> system =
        db.firstRow(QStringLiteral("SELECT System_ID, Group_ID, Schedule_Type, OnInternet, Block_Internet, "
                                   "Timer_Type, Timer_Starttime, Timer_Period, Apply_Systemwise_Settings<>0 "
                                   "FROM System_Table WHERE System_Key=?"),
                    {systemKey});
    if (!system)
        return {};
    if (system->value(8).toBool())
        return policyOf(db, *system, true);
    return groupPolicy(db, system->value(QStringLiteral("Group_ID")));
}

} // namespace

Schedule Get_System_Schedule(Database& db, const Clock& clock, const QString& systemKey) {
    if (!Keys::Is_System_Key(systemKey))
        return {};
    thread_local PayloadCache<SchedulePolicy> cache;
    const SchedulePolicy policy = cache.get(db, systemKey, [&] { return readPolicy(db, systemKey); });
    if (!policy.present)
        return {};
    const QDateTime now = clock.now();
    Schedule schedule =
        policy.schedule.type == Schedule::Type::Timer ? timerSchedule(now, policy.timer) : policy.schedule;
    // The client service is two seconds behind by the time it reads the stamp.
    schedule.stamp = LocalTimes::addSecs(now, 2);
    return schedule;
}

} // namespace kestrava
