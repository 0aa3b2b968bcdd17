#pragma once

#include "core/startup/StoredTimer.h"

#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>
#include <vector>

namespace kestrava {

class Database;

// One scheduler row: internet switches at start and stop on the days its repeat chooses.
struct ScheduleRange {
    QTime start;
    QTime stop;
    int repeat = 1;   // 1 daily, 2 weekly, 3 monthly
    int weekDays = 0; // bit 0 Sunday
    int months = 0;   // bit 0 January
};

// The row that governs a system, as the schedule message is built from it.
struct EffectivePolicy {
    bool own = false; // the system's own settings; else its group's
    int scheduleType = 0;
    bool onInternet = false;
    bool blockInternet = false;
    StoredTimer timer;
    std::vector<ScheduleRange> ranges;
};

// Why a system has internet or not, and when that changes next (invalid when nothing is due).
struct PolicyLine {
    QString text;
    QDateTime nextChange;
};

// The governing row of a system key: its own when Apply_Systemwise_Settings is set, else its group's;
// nullopt for a system without one (the root's systems). Throws DatabaseError.
std::optional<EffectivePolicy> readEffectivePolicy(Database& db, const QString& systemKey);

// "On — schedule: next off 12:00 PM Tue (group's)" and the like, as the client service will enforce it.
PolicyLine explainPolicy(const std::optional<EffectivePolicy>& policy, const QDateTime& now);

} // namespace kestrava
