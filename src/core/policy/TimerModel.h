#pragma once

#include "core/policy/PolicyTarget.h"

#include <QString>
#include <QTime>

class QSqlQuery;

namespace kestrava {

class Clock;
class Database;
class ScheduleSender;

// The timer editor's state: ON or OFF timer, its period (at most 23:59) and whether Apply is offered.
// Apply starts the timer at that moment.
class TimerModel {
public:
    enum class ApplyResult { Applied, OwnerMissing, NothingChosen };

    TimerModel(Database& db, const Clock& clock, ScheduleSender& messenger);

    // Takes the chosen group or system and shows the timer last stored for what governs it (a system
    // that follows its group shows the group's). Throws DatabaseError.
    void open(const PolicyTarget& target);
    const PolicyTarget& target() const { return m_target; }

    bool onTimer() const { return m_onTimer; }
    QTime period() const { return m_period; }
    bool applyEnabled() const { return m_applyEnabled; }

    void setOnTimer(bool on);
    // Hours and minutes only.
    void setPeriod(const QTime& period);
    // Period 00:00; nothing is written until Apply.
    void clear();

    // Stores the timer in one transaction, started now, and sends the schedule message. Throws
    // DatabaseError, leaving the database as before and Apply offered.
    ApplyResult apply();
    QString ownerGoneMessage() const;

private:
    void loadFrom(QSqlQuery& row);

    Database& m_db;
    const Clock& m_clock;
    ScheduleSender& m_messenger;
    PolicyTarget m_target;
    bool m_onTimer = true;
    QTime m_period{0, 0};
    bool m_applyEnabled = false;
};

} // namespace kestrava
