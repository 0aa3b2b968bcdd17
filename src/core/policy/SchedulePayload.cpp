#include "policy/SchedulePayload.h"

#include "console/Keys.h"
#include "protocol/Fields.h"
#include "startup/Clock.h"
#include "startup/LocalTimes.h"
#include "startup/StoredTimer.h"
#include "startup/TimeText.h"
#include "store/Database.h"
#include "store/PayloadCache.h"

#include <QSqlRecord>

namespace kestrava {

namespace {

// What a system's schedule says, apart from the stamp and whether its timer runs now.
struct SchedulePolicy {
    qint64 type = -1; // -1: no payload
    QString body;     // the fields after the type; for a timer, those of a running one
    StoredTimer timer;
};

QString field(const QString& value) {
    return value + kFieldSeparator;
}

QString field(qint64 number) {
    return field(QString::number(number));
}

QString boolField(const QVariant& value) {
    return field(value.toBool() ? QStringLiteral("True") : QStringLiteral("False"));
}

// The client service is two seconds behind by the time it reads the stamp.
QString stamp(const Clock& clock) {
    return TimeText::generalDateTime(LocalTimes::addSecs(clock.now(), 2));
}

QString header(const Clock& clock, qint64 scheduleType) {
    return QString(kFieldSeparator) + field(stamp(clock)) + field(scheduleType);
}

SchedulePolicy timerPolicy(const QSqlRecord& source) {
    SchedulePolicy policy{3,
                          {},
                          StoredTimer::fromColumns(source.value(QStringLiteral("Timer_Type")),
                                                   source.value(QStringLiteral("Timer_Starttime")),
                                                   source.value(QStringLiteral("Timer_Period")))};
    if (policy.timer.start.isValid())
        policy.body = field(policy.timer.type) + field(TimeText::generalDateTime(policy.timer.start)) +
                      field(TimeText::generalDateTime(policy.timer.end())) + field(0);
    return policy;
}

// An ON timer that is over leaves internet off, an OFF timer leaves it on.
QString timerPayload(const Clock& clock, const SchedulePolicy& policy) {
    const StoredTimer& timer = policy.timer;
    if (timer.runsAt(clock.now()))
        return header(clock, 3) + policy.body;
    if (timer.type == QLatin1String("N"))
        return header(clock, 1) + field(QStringLiteral("False")) + field(0);
    if (timer.type == QLatin1String("F"))
        return header(clock, 1) + field(QStringLiteral("True")) + field(0);
    return header(clock, 3);
}

QString schedulesBody(Database& db, const QSqlRecord& source, bool systemSource) {
    const QList<QSqlRecord> rows =
        systemSource
            ? db.rows(QStringLiteral("SELECT * FROM System_Scheduler_Table WHERE System_ID=? ORDER BY ID"),
                      {source.value(QStringLiteral("System_ID"))})
            : db.rows(QStringLiteral("SELECT * FROM Group_Scheduler_Table WHERE Group_ID=? ORDER BY ID"),
                      {source.value(QStringLiteral("Group_ID"))});
    QString ranges;
    int count = 0;
    for (const QSqlRecord& row : rows) {
        ++count;
        ranges += field(row.value(QStringLiteral("Start_Time")).toString()) +
                  field(row.value(QStringLiteral("Stop_Time")).toString()) +
                  field(row.value(QStringLiteral("DailyWeeklyMonthly")).toLongLong()) +
                  field(row.value(QStringLiteral("WeekDays")).toLongLong()) +
                  field(row.value(QStringLiteral("Months")).toLongLong());
    }
    if (count > 0)
        return boolField(source.value(QStringLiteral("Block_Internet"))) + field(count) + ranges + field(0);
    // A group without rows sends no Block_Internet field; client services expect it that way.
    if (!systemSource)
        return field(0) + field(0) + field(0);
    return boolField(source.value(QStringLiteral("Block_Internet"))) + field(0) + field(0) + field(0);
}

SchedulePolicy policyOf(Database& db, const QSqlRecord& source, bool systemSource) {
    switch (source.value(QStringLiteral("Schedule_Type")).toLongLong()) {
    case 0:
        return {0, {}, {}};
    case 1:
        return {1, boolField(source.value(QStringLiteral("OnInternet"))) + field(0), {}};
    case 2:
        return {2, schedulesBody(db, source, systemSource), {}};
    case 3:
        return timerPolicy(source);
    default:
        return {};
    }
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

QString Get_System_Schedule(Database& db, const Clock& clock, const QString& systemKey) {
    if (!Keys::Is_System_Key(systemKey))
        return {};
    thread_local PayloadCache<SchedulePolicy> cache;
    const SchedulePolicy policy = cache.get(db, systemKey, [&] { return readPolicy(db, systemKey); });
    switch (policy.type) {
    case -1:
        return {};
    case 3:
        return timerPayload(clock, policy);
    default:
        return header(clock, policy.type) + policy.body;
    }
}

} // namespace kestrava
