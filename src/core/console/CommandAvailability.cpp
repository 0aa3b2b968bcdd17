#include "core/console/CommandAvailability.h"

#include "core/console/Keys.h"
#include "core/console/TreeNode.h"
#include "core/startup/Clock.h"
#include "core/startup/StoredTimer.h"
#include "core/store/Database.h"

#include <QSqlQuery>

namespace kestrava {

namespace {

enum ScheduleType { NoPolicy = 0, OnOff = 1, Scheduler = 2, Timer = 3 };

} // namespace

SelectionKind selectionKindOf(const QString& key) {
    if (Keys::Is_Root_Key(key))
        return SelectionKind::Root;
    if (Keys::Is_Group_Key(key))
        return SelectionKind::Group;
    if (Keys::Is_System_Key(key))
        return SelectionKind::System;
    return SelectionKind::Nothing;
}

CommandAvailability::CommandAvailability(Database& db, const Clock& clock)
    : m_db(db)
    , m_clock(clock) {}

ToolbarPolicyButtons CommandAvailability::Set_Toolbar_State(SelectionKind kind) {
    switch (kind) {
    case SelectionKind::Group:
        return {true, true, true, true, true};
    case SelectionKind::System:
        return {true, true, true, false, false};
    case SelectionKind::Nothing:
    case SelectionKind::Root:
        break;
    }
    return {};
}

FileMenuItems CommandAvailability::fileMenuState(const QString& activeKey) {
    switch (selectionKindOf(activeKey)) {
    case SelectionKind::Group:
        return {true, true, true, true, true, true};
    case SelectionKind::System:
        return {true, false, false, true, true, true};
    case SelectionKind::Nothing:
    case SelectionKind::Root:
        break;
    }
    return {};
}

PopupVisibility CommandAvailability::popupVisibility(const TreeNode* node) {
    PopupVisibility shown;
    if (!node) {
        shown.addNewGroup = true;
        shown.refresh = true;
        return shown;
    }
    const SelectionKind kind = selectionKindOf(node->key);
    if (kind != SelectionKind::Group && kind != SelectionKind::System)
        return shown;
    const bool group = kind == SelectionKind::Group;
    shown.policy = true;
    shown.setToClients = group;
    shown.inherit = !group;
    shown.clear = true;
    shown.nodeCommands = true;
    shown.groupLists = group;
    shown.service = group || node->isConnected();
    return shown;
}

void CommandAvailability::applyPolicyState(PolicyItems& items, const QSqlQuery& row, int first) const {
    switch (row.value(first).toInt()) {
    case NoPolicy:
        return;
    case OnOff:
        (row.value(first + 1).toBool() ? items.onChecked : items.offChecked) = true;
        break;
    case Scheduler:
        items.schedulerChecked = true;
        break;
    case Timer: {
        const StoredTimer timer =
            StoredTimer::fromColumns(row.value(first + 4), row.value(first + 2), row.value(first + 3));
        if (timer.runsAt(m_clock.now()))
            items.timerChecked = true;
        else if (timer.type == QLatin1String("N"))
            items.offChecked = true;
        else if (timer.type == QLatin1String("F"))
            items.onChecked = true;
        break;
    }
    default:
        break;
    }
    items.clearEnabled = true;
}

PolicyItems CommandAvailability::popupPolicy(const TreeNode* node) const {
    PolicyItems items;
    if (!node)
        return items;
    if (Keys::Is_Group_Key(node->key)) {
        items.clearEnabled = true;
        QSqlQuery row = m_db.exec(
            QStringLiteral("SELECT Schedule_Type, OnInternet, Timer_Starttime, Timer_Period, Timer_Type, "
                           "Apply_Groupwise_Settings, Blank_Screen FROM Group_Table WHERE Group_Key=?"),
            {node->key});
        if (row.next()) {
            items.clearEnabled = false;
            applyPolicyState(items, row, 0);
            items.setToClientsEnabled = !row.value(5).toBool();
            items.blankScreenChecked = row.value(6).toBool();
        }
        return items;
    }
    if (!Keys::Is_System_Key(node->key))
        return items;
    QSqlQuery own = m_db.exec(
        QStringLiteral("SELECT Schedule_Type, OnInternet, Timer_Starttime, Timer_Period, Timer_Type, "
                       "Apply_Systemwise_Settings, Blank_Screen FROM System_Table WHERE System_Key=?"),
        {node->key});
    if (!own.next())
        return items;
    items.blankScreenChecked = own.value(6).toBool();
    if (own.value(5).toBool()) {
        applyPolicyState(items, own, 0);
        items.inheritEnabled = node->parent && Keys::Is_Group_Key(node->parent->key);
        return items;
    }
    QSqlQuery group = m_db.exec(
        QStringLiteral("SELECT Schedule_Type, OnInternet, Timer_Starttime, Timer_Period, Timer_Type "
                       "FROM Group_Table WHERE Group_Key=?"),
        {node->parent ? node->parent->key : QString()});
    if (group.next())
        applyPolicyState(items, group, 0);
    else
        items.clearEnabled = true;
    return items;
}

PolicyItems CommandAvailability::Set_Tools_Menu_State(const QString& key,
                                                      const QString& selectedParentKey) const {
    PolicyItems items;
    const SelectionKind kind = selectionKindOf(key);
    if (kind == SelectionKind::Group) {
        QSqlQuery row = m_db.exec(
            QStringLiteral("SELECT Schedule_Type, OnInternet, Timer_Starttime, Timer_Period, Timer_Type, "
                           "Apply_Groupwise_Settings FROM Group_Table WHERE Group_Key=?"),
            {key});
        if (row.next()) {
            applyPolicyState(items, row, 0);
            items.setToClientsEnabled = !row.value(5).toBool();
        }
        return items;
    }
    if (kind != SelectionKind::System) {
        items.commandsEnabled = false;
        return items;
    }
    QSqlQuery own = m_db.exec(
        QStringLiteral("SELECT Schedule_Type, OnInternet, Timer_Starttime, Timer_Period, Timer_Type, "
                       "Apply_Systemwise_Settings FROM System_Table WHERE System_Key=?"),
        {key});
    if (!own.next())
        return items;
    if (own.value(5).toBool()) {
        applyPolicyState(items, own, 0);
        items.inheritEnabled = Keys::Is_Group_Key(selectedParentKey);
        return items;
    }
    QSqlQuery group = m_db.exec(
        QStringLiteral(
            "SELECT Schedule_Type, OnInternet, Timer_Starttime, Timer_Period, Timer_Type FROM Group_Table "
            "WHERE Group_ID=(SELECT Group_ID FROM System_Table WHERE System_Key=?)"),
        {key});
    if (group.next())
        applyPolicyState(items, group, 0);
    else
        items.clearEnabled = true;
    return items;
}

} // namespace kestrava
