#include "policy/SchedulePayload.h"

#include "console/Keys.h"
#include "protocol/Fields.h"
#include "startup/Clock.h"
#include "startup/StoredTimer.h"
#include "startup/TimeText.h"
#include "store/Database.h"

#include <QSqlRecord>

namespace kestrava {

namespace {

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
    return TimeText::generalDateTime(clock.now().addSecs(2));
}

QString header(const Clock& clock, qint64 scheduleType) {
    return QString(kFieldSeparator) + field(stamp(clock)) + field(scheduleType);
}

// An ON timer that is over leaves internet off, an OFF timer leaves it on.
QString timerPayload(const Clock& clock, const QSqlRecord& source) {
    const StoredTimer timer = StoredTimer::fromColumns(source.value(QStringLiteral("Timer_Type")),
                                                       source.value(QStringLiteral("Timer_Starttime")),
                                                       source.value(QStringLiteral("Timer_Period")));
    if (timer.runsAt(clock.now()))
        return header(clock, 3) + field(timer.type) + field(TimeText::generalDateTime(timer.start)) +
               field(TimeText::generalDateTime(timer.end())) + field(0);
    if (timer.type == QLatin1String("N"))
        return header(clock, 1) + field(QStringLiteral("False")) + field(0);
    if (timer.type == QLatin1String("F"))
        return header(clock, 1) + field(QStringLiteral("True")) + field(0);
    return header(clock, 3);
}

QString schedulesPayload(Database& db, const Clock& clock, const QSqlRecord& source, bool systemSource) {
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
    const QString head = header(clock, 2);
    if (count > 0)
        return head + boolField(source.value(QStringLiteral("Block_Internet"))) + field(count) + ranges +
               field(0);
    // A group without rows sends no Block_Internet field; client services expect it that way.
    if (!systemSource)
        return head + field(0) + field(0) + field(0);
    return head + boolField(source.value(QStringLiteral("Block_Internet"))) + field(0) + field(0) + field(0);
}

} // namespace

QString Get_System_Schedule(Database& db, const Clock& clock, const QString& systemKey) {
    if (!Keys::Is_System_Key(systemKey))
        return {};
    bool systemSource = true;
    std::optional<QSqlRecord> found =
        db.firstRow(QStringLiteral("SELECT System_ID, Group_ID, Schedule_Type, OnInternet, Block_Internet, "
                                   "Timer_Type, Timer_Starttime, Timer_Period FROM System_Table "
                                   "WHERE System_Key=? AND Apply_Systemwise_Settings<>0"),
                    {systemKey});
    if (!found) {
        systemSource = false;
        found = db.firstRow(QStringLiteral("SELECT Group_ID, Schedule_Type, OnInternet, Block_Internet, "
                                           "Timer_Type, Timer_Starttime, Timer_Period FROM Group_Table "
                                           "WHERE Group_ID IN (SELECT Group_ID FROM System_Table "
                                           "WHERE System_Key=?)"),
                            {systemKey});
        if (!found)
            return {};
    }
    const QSqlRecord& source = *found;
    const qint64 scheduleType = source.value(QStringLiteral("Schedule_Type")).toLongLong();
    switch (scheduleType) {
    case 0:
        return header(clock, 0);
    case 1:
        return header(clock, 1) + boolField(source.value(QStringLiteral("OnInternet"))) + field(0);
    case 2:
        return schedulesPayload(db, clock, source, systemSource);
    case 3:
        return timerPayload(clock, source);
    default:
        return {};
    }
}

} // namespace kestrava
