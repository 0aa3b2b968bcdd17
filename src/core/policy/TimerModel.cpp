#include "core/policy/TimerModel.h"

#include "core/policy/PolicyOwners.h"
#include "core/policy/ScheduleSender.h"
#include "core/startup/Clock.h"
#include "core/startup/StoredTimer.h"
#include "core/startup/TimeText.h"
#include "core/store/Database.h"

#include <QSqlQuery>

namespace kestrava {

TimerModel::TimerModel(Database& db, const Clock& clock, ScheduleSender& messenger)
    : m_db(db)
    , m_clock(clock)
    , m_messenger(messenger) {}

void TimerModel::open(const PolicyTarget& target) {
    m_target = target;
    m_applyEnabled = false;
    m_onTimer = true;
    m_period = QTime(0, 0);
    if (m_target.isSystem()) {
        QSqlQuery system =
            m_db.exec(QStringLiteral("SELECT Timer_Type, Timer_Starttime, Timer_Period, "
                                     "Apply_Systemwise_Settings FROM System_Table WHERE System_Key=?"),
                      {m_target.systemKey});
        if (!system.next())
            return;
        if (system.value(QStringLiteral("Apply_Systemwise_Settings")).toBool()) {
            loadFrom(system);
            return;
        }
        QSqlQuery group =
            m_db.exec(QStringLiteral("SELECT Timer_Type, Timer_Starttime, Timer_Period FROM Group_Table "
                                     "WHERE Group_ID=(SELECT Group_ID FROM System_Table "
                                     "WHERE System_Key=?)"),
                      {m_target.systemKey});
        if (group.next())
            loadFrom(group);
    } else if (m_target.isGroup()) {
        QSqlQuery group = m_db.exec(
            QStringLiteral(
                "SELECT Timer_Type, Timer_Starttime, Timer_Period FROM Group_Table WHERE Group_Key=?"),
            {m_target.groupKey});
        if (group.next())
            loadFrom(group);
    }
}

// The last timer stored is shown even when another kind of policy is in force.
void TimerModel::loadFrom(QSqlQuery& row) {
    const StoredTimer timer = StoredTimer::fromColumns(row.value(QStringLiteral("Timer_Type")),
                                                       row.value(QStringLiteral("Timer_Starttime")),
                                                       row.value(QStringLiteral("Timer_Period")));
    m_period = QTime(timer.period.hour(), timer.period.minute());
    m_onTimer = timer.type == QLatin1String("N");
}

void TimerModel::setOnTimer(bool on) {
    m_onTimer = on;
    m_applyEnabled = true;
}

void TimerModel::setPeriod(const QTime& period) {
    m_period = period.isValid() ? QTime(period.hour(), period.minute()) : QTime(0, 0);
    m_applyEnabled = true;
}

void TimerModel::clear() {
    setPeriod(QTime(0, 0));
}

TimerModel::ApplyResult TimerModel::apply() {
    const bool system = m_target.isSystem();
    if (!system && !m_target.isGroup()) {
        m_applyEnabled = false;
        return ApplyResult::NothingChosen;
    }
    const QVariantList timer{m_onTimer ? QStringLiteral("N") : QStringLiteral("F"),
                             TimeText::storedDateTime(m_clock.now()), TimeText::timerPeriod(m_period)};
    bool found = false;
    m_db.transaction([&] {
        if (system) {
            found = PolicyOwners::systemExists(m_db, m_target.systemKey);
            if (!found)
                return;
            m_db.exec(QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=1, Schedule_Type=3, "
                                     "Timer_Type=?, Timer_Starttime=?, Timer_Period=? WHERE System_Key=?"),
                      timer + QVariantList{m_target.systemKey});
            m_db.exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=0 "
                                     "WHERE Group_ID=(SELECT Group_ID FROM System_Table WHERE System_Key=?)"),
                      {m_target.systemKey});
            return;
        }
        found = PolicyOwners::groupExists(m_db, m_target.groupKey);
        if (!found)
            return;
        m_db.exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1, Schedule_Type=3, "
                                 "Timer_Type=?, Timer_Starttime=?, Timer_Period=? WHERE Group_Key=?"),
                  timer + QVariantList{m_target.groupKey});
        m_db.exec(QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=0 "
                                 "WHERE Group_ID=(SELECT Group_ID FROM Group_Table WHERE Group_Key=?)"),
                  {m_target.groupKey});
    });
    if (!found)
        return ApplyResult::OwnerMissing;
    if (system)
        m_messenger.sendScheduleToSystem(m_target.systemKey);
    else
        m_messenger.Enumerate_Childs_And_Send_Scheduler(m_target.groupKey);
    m_applyEnabled = false;
    return ApplyResult::Applied;
}

QString TimerModel::ownerGoneMessage() const {
    return m_target.isSystem() ? PolicyOwners::systemGoneText(m_target.systemName)
                               : PolicyOwners::groupGoneText(m_target.groupName);
}

} // namespace kestrava
