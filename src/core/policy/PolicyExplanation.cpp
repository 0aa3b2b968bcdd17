#include "core/policy/PolicyExplanation.h"

#include "core/console/Keys.h"
#include "core/startup/TimeText.h"
#include "core/store/Database.h"

#include <QLocale>
#include <QSqlRecord>
#include <algorithm>

namespace kestrava {

namespace {

using Interval = std::pair<QDateTime, QDateTime>;

bool rangeRunsOn(const ScheduleRange& range, QDate day) {
    switch (range.repeat) {
    case 2:
        return range.weekDays & (1 << (day.dayOfWeek() % 7));
    case 3:
        return range.months & (1 << (day.month() - 1));
    default:
        return true;
    }
}

// The times inside any range from the day before first to last, merged where they touch or overlap.
std::vector<Interval> insideRanges(const std::vector<ScheduleRange>& ranges, QDate first, QDate last) {
    std::vector<Interval> inside;
    for (QDate day = first.addDays(-1); day <= last; day = day.addDays(1)) {
        for (const ScheduleRange& range : ranges) {
            if (!range.start.isValid() || !range.stop.isValid() || !rangeRunsOn(range, day))
                continue;
            // A stop not after the start runs past midnight.
            const QDate stopDay = range.stop <= range.start ? day.addDays(1) : day;
            inside.emplace_back(QDateTime(day, range.start), QDateTime(stopDay, range.stop));
        }
    }
    std::sort(inside.begin(), inside.end());
    std::vector<Interval> merged;
    for (const Interval& next : inside) {
        if (!merged.empty() && next.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, next.second);
        else
            merged.push_back(next);
    }
    return merged;
}

// Whether now is inside a range, and the next instant that changes it (invalid when none within a year).
std::pair<bool, QDateTime> scheduleState(const std::vector<ScheduleRange>& ranges, const QDateTime& now) {
    // Daily and weekly rows repeat within eight days; monthly ones may wait most of a year.
    for (int days : {8, 366}) {
        for (const Interval& in : insideRanges(ranges, now.date(), now.date().addDays(days))) {
            if (in.second <= now)
                continue;
            if (in.first <= now)
                return {true, in.second};
            return {false, in.first};
        }
    }
    return {false, {}};
}

QString when(const QDateTime& at, const QDateTime& now) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString time = english.toString(at.time(), QStringLiteral("h:mm AP"));
    if (at.date() == now.date())
        return time;
    if (at.date() < now.date().addDays(7))
        return time + QLatin1Char(' ') + english.toString(at.date(), QStringLiteral("ddd"));
    return time + QLatin1Char(' ') + english.toString(at.date(), QStringLiteral("ddd M/d"));
}

QString onOff(bool on) {
    return on ? QStringLiteral("On") : QStringLiteral("Off");
}

} // namespace

std::optional<EffectivePolicy> readEffectivePolicy(Database& db, const QString& systemKey) {
    if (!Keys::Is_System_Key(systemKey))
        return std::nullopt;
    EffectivePolicy policy;
    std::optional<QSqlRecord> row = db.firstRow(
        QStringLiteral("SELECT System_ID AS Owner, Schedule_Type, OnInternet, Block_Internet, Timer_Type, "
                       "Timer_Starttime, Timer_Period FROM System_Table "
                       "WHERE System_Key=? AND Apply_Systemwise_Settings<>0"),
        {systemKey});
    policy.own = row.has_value();
    if (!row)
        row = db.firstRow(
            QStringLiteral("SELECT Group_ID AS Owner, Schedule_Type, OnInternet, Block_Internet, "
                           "Timer_Type, Timer_Starttime, Timer_Period FROM Group_Table "
                           "WHERE Group_ID IN (SELECT Group_ID FROM System_Table WHERE System_Key=?)"),
            {systemKey});
    if (!row)
        return std::nullopt;
    policy.scheduleType = row->value(QStringLiteral("Schedule_Type")).toInt();
    policy.onInternet = row->value(QStringLiteral("OnInternet")).toBool();
    policy.blockInternet = row->value(QStringLiteral("Block_Internet")).toBool();
    policy.timer = StoredTimer::fromColumns(row->value(QStringLiteral("Timer_Type")),
                                            row->value(QStringLiteral("Timer_Starttime")),
                                            row->value(QStringLiteral("Timer_Period")));
    if (policy.scheduleType == 2) {
        const QString rows =
            policy.own ? QStringLiteral("SELECT * FROM System_Scheduler_Table WHERE System_ID=? ORDER BY ID")
                       : QStringLiteral("SELECT * FROM Group_Scheduler_Table WHERE Group_ID=? ORDER BY ID");
        for (const QSqlRecord& range : db.rows(rows, {row->value(QStringLiteral("Owner"))}))
            policy.ranges.push_back(
                {TimeText::parseScheduleTime(range.value(QStringLiteral("Start_Time")).toString()),
                 TimeText::parseScheduleTime(range.value(QStringLiteral("Stop_Time")).toString()),
                 range.value(QStringLiteral("DailyWeeklyMonthly")).toInt(),
                 range.value(QStringLiteral("WeekDays")).toInt(),
                 range.value(QStringLiteral("Months")).toInt()});
    }
    return policy;
}

PolicyLine explainPolicy(const std::optional<EffectivePolicy>& policy, const QDateTime& now) {
    if (!policy)
        return {QStringLiteral("On — no policy"), {}};
    const QString source = policy->own ? QStringLiteral(" (own)") : QStringLiteral(" (group's)");
    switch (policy->scheduleType) {
    case 1:
        return {onOff(policy->onInternet) + QStringLiteral(" — set ") + onOff(policy->onInternet).toLower() +
                    source,
                {}};
    case 2: {
        if (policy->ranges.empty())
            return {QStringLiteral("On — schedule without times") + source, {}};
        const auto [inside, change] = scheduleState(policy->ranges, now);
        // Blocking schedules take internet away inside their ranges; the others give it only there.
        const bool on = inside != policy->blockInternet;
        QString text = onOff(on) + QStringLiteral(" — schedule");
        if (change.isValid())
            text += QStringLiteral(": next ") + onOff(!on).toLower() + QLatin1Char(' ') + when(change, now);
        return {text + source, change};
    }
    case 3: {
        const StoredTimer& timer = policy->timer;
        const bool onTimer = timer.type == QLatin1String("N");
        const bool offTimer = timer.type == QLatin1String("F");
        if (!onTimer && !offTimer)
            return {QStringLiteral("On — timer not set") + source, {}};
        const QString kind = onTimer ? QStringLiteral("ON timer") : QStringLiteral("OFF timer");
        if (timer.runsAt(now))
            return {onOff(onTimer) + QStringLiteral(" — ") + kind + QStringLiteral(" until ") +
                        when(timer.end(), now) + source,
                    timer.end()};
        return {onOff(!onTimer) + QStringLiteral(" — ") + kind + QStringLiteral(" not running") + source, {}};
    }
    default:
        return {QStringLiteral("On — no policy") + source, {}};
    }
}

} // namespace kestrava
