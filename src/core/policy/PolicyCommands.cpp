#include "core/policy/PolicyCommands.h"

#include "core/console/Keys.h"
#include "core/policy/PolicyOwners.h"
#include "core/policy/ScheduleSender.h"
#include "core/store/Database.h"

namespace kestrava {

namespace {

const QString kMembersFollowGroup =
    QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=0 "
                   "WHERE Group_ID=(SELECT Group_ID FROM Group_Table WHERE Group_Key=?)");
const QString kGroupNoLongerGroupwise =
    QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=0 "
                   "WHERE Group_ID=(SELECT Group_ID FROM System_Table WHERE System_Key=?)");

} // namespace

PolicyCommands::PolicyCommands(Database& db, ScheduleSender& messenger)
    : m_db(db)
    , m_messenger(messenger) {}

// The group's row, then its members follow it; every connected member hears of it.
PolicyCommands::Outcome PolicyCommands::changeGroup(const QString& key, const QString& groupUpdate,
                                                    const QVariantList& values) {
    bool found = false;
    m_db.transaction([&] {
        found = PolicyOwners::groupExists(m_db, key);
        if (!found)
            return;
        m_db.exec(groupUpdate, values);
        m_db.exec(kMembersFollowGroup, {key});
    });
    if (!found)
        return Outcome::OwnerMissing;
    m_messenger.Enumerate_Childs_And_Send_Scheduler(key);
    return Outcome::Done;
}

// The system gets settings of its own, so its group is no longer set as a whole.
PolicyCommands::Outcome PolicyCommands::changeSystem(const QString& key, const QString& systemUpdate,
                                                     const QVariantList& values) {
    bool found = false;
    m_db.transaction([&] {
        found = PolicyOwners::systemExists(m_db, key);
        if (!found)
            return;
        m_db.exec(systemUpdate, values);
        m_db.exec(kGroupNoLongerGroupwise, {key});
    });
    if (!found)
        return Outcome::OwnerMissing;
    m_messenger.sendScheduleToSystem(key);
    return Outcome::Done;
}

PolicyCommands::Outcome PolicyCommands::setInternet(const QString& key, bool on) {
    if (Keys::Is_Group_Key(key))
        return changeGroup(
            key,
            QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1, Schedule_Type=1, "
                           "OnInternet=? WHERE Group_Key=?"),
            {on ? 1 : 0, key});
    if (Keys::Is_System_Key(key))
        return changeSystem(key,
                            QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=1, "
                                           "Schedule_Type=1, OnInternet=? WHERE System_Key=?"),
                            {on ? 1 : 0, key});
    return Outcome::NotApplicable;
}

// Only Schedule_Type changes: stored schedules and timers stay for the editors.
PolicyCommands::Outcome PolicyCommands::clearInternetSettings(const QString& key) {
    if (Keys::Is_Group_Key(key))
        return changeGroup(
            key,
            QStringLiteral("UPDATE Group_Table SET Schedule_Type=0, Apply_Groupwise_Settings=1 "
                           "WHERE Group_Key=?"),
            {key});
    if (Keys::Is_System_Key(key))
        return changeSystem(key,
                            QStringLiteral("UPDATE System_Table SET Schedule_Type=0, "
                                           "Apply_Systemwise_Settings=1 WHERE System_Key=?"),
                            {key});
    return Outcome::NotApplicable;
}

PolicyCommands::Outcome PolicyCommands::inheritGroupInternetSettings(const QString& key) {
    if (!Keys::Is_System_Key(key))
        return Outcome::NotApplicable;
    bool found = false;
    m_db.transaction([&] {
        found = PolicyOwners::systemExists(m_db, key);
        if (found)
            m_db.exec(
                QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=0 WHERE System_Key=?"),
                {key});
    });
    if (!found)
        return Outcome::OwnerMissing;
    m_messenger.sendScheduleToSystem(key);
    return Outcome::Done;
}

PolicyCommands::Outcome PolicyCommands::setInternetSettingsToClients(const QString& key) {
    if (!Keys::Is_Group_Key(key))
        return Outcome::NotApplicable;
    return changeGroup(
        key, QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1 WHERE Group_Key=?"), {key});
}

QString PolicyCommands::clearGroupQuestion(const QString& groupText) {
    return QStringLiteral("Are you sure you want to clear the internet settings for the group '") +
           groupText + QStringLiteral("'?");
}

QString PolicyCommands::clearSystemQuestion(const QString& systemText) {
    return QStringLiteral("Are you sure you want to clear the internet settings of the client '") +
           systemText + QStringLiteral("'?");
}

QString PolicyCommands::inheritQuestion(const QString& systemText) {
    return QStringLiteral("Are you sure you want to inherit the group internet settings for the client '") +
           systemText + QStringLiteral("'?");
}

QString PolicyCommands::setToClientsQuestion() {
    return QStringLiteral("Are you sure you want to apply the group's internet settings to all its client "
                          "systems?");
}

} // namespace kestrava
