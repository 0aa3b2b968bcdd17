#include "agent/policy/InternetDecision.h"

#include <algorithm>
#include <utility>

namespace kestrava::agent {

namespace {

bool occursOn(const TimeRange& range, QDate day) {
    switch (range.repeat) {
    case TimeRange::Repeat::Daily:
        return true;
    case TimeRange::Repeat::Weekly:
        return (range.weekDays >> (day.dayOfWeek() % 7)) & 1; // Qt counts Sunday as 7
    case TimeRange::Repeat::Monthly:
        return (range.months >> (day.month() - 1)) & 1;
    }
    return false;
}

// The moment of day and time in the time representation of like.
QDateTime at(const QDateTime& like, QDate day, QTime time) {
    QDateTime moment = like;
    moment.setDate(day);
    moment.setTime(time);
    return moment;
}

// The instants a range covers when it starts on day: up to 24 h, across midnight when stop <= start.
std::pair<QDateTime, QDateTime> occurrence(const TimeRange& range, QDate day, const QDateTime& like) {
    return {at(like, day, range.start),
            at(like, range.stop <= range.start ? day.addDays(1) : day, range.stop)};
}

// Sweeps range starts and stops day by day, keeping how many ranges cover the moment.
Decision decideRanges(const Schedule& schedule, const QDateTime& now) {
    const auto internet = [&schedule](bool inside) { return inside != schedule.blockInRanges; };
    const QDate today = now.date();
    int covering = 0;
    for (QDate day : {today.addDays(-1), today}) {
        for (const TimeRange& range : schedule.ranges) {
            const auto [start, stop] = occurrence(range, day, now);
            covering += occursOn(range, day) && start <= now && now < stop;
        }
    }
    Decision decision{true, internet(covering > 0), std::nullopt};
    QList<std::pair<QDateTime, int>> steps;
    for (int ahead = 0; ahead <= kDecisionLookAheadDays; ++ahead) {
        const QDate day = today.addDays(ahead);
        const QDateTime dayStart = at(now, day, QTime(0, 0));
        const QDateTime dayEnd = at(now, day.addDays(1), QTime(0, 0));
        steps.clear();
        for (QDate from : {day.addDays(-1), day}) {
            for (const TimeRange& range : schedule.ranges) {
                if (!occursOn(range, from))
                    continue;
                const auto [start, stop] = occurrence(range, from, now);
                if (start > now && start >= dayStart && start < dayEnd)
                    steps.append({start, 1});
                if (stop > now && stop >= dayStart && stop < dayEnd)
                    steps.append({stop, -1});
            }
        }
        std::sort(steps.begin(), steps.end());
        for (qsizetype i = 0; i < steps.size(); ++i) {
            covering += steps[i].second;
            const bool lastAtThisInstant = i + 1 == steps.size() || steps[i + 1].first != steps[i].first;
            if (lastAtThisInstant && internet(covering > 0) != decision.internetOn) {
                decision.nextChange = steps[i].first;
                return decision;
            }
        }
    }
    return decision;
}

Decision decideTimer(const Schedule& schedule, const QDateTime& now) {
    const bool onTimer = schedule.timerType == QLatin1Char('N');
    if ((!onTimer && schedule.timerType != QLatin1Char('F')) || !schedule.timerEnd.isValid())
        return {};
    // A timer is sent only once it runs, so a start a little ahead of our reading of the clock is slack.
    if (now < schedule.timerEnd)
        return {true, onTimer, schedule.timerEnd};
    return {true, !onTimer, std::nullopt};
}

} // namespace

Decision decide(const Schedule& schedule, const QDateTime& consoleNow) {
    switch (schedule.type) {
    case Schedule::Type::None:
        return {};
    case Schedule::Type::OnOff:
        return {true, schedule.internetOn, std::nullopt};
    case Schedule::Type::Ranges:
        return schedule.ranges.isEmpty() ? Decision{} : decideRanges(schedule, consoleNow);
    case Schedule::Type::Timer:
        return decideTimer(schedule, consoleNow);
    }
    return {};
}

} // namespace kestrava::agent
