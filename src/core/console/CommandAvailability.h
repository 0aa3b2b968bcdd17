#pragma once

#include <QString>

class QSqlQuery;

namespace kestrava {

class Clock;
class Database;
struct TreeNode;

// What a selection is, as the tool bar numbers it.
enum class SelectionKind { Nothing = 0, Root = 1, Group = 2, System = 3 };
SelectionKind selectionKindOf(const QString& key);

// The policy items of the popup or the Tools menu: which are checked and which are enabled.
struct PolicyItems {
    bool onChecked = false;
    bool offChecked = false;
    bool schedulerChecked = false;
    bool timerChecked = false;
    bool clearEnabled = false;
    bool inheritEnabled = false;
    bool setToClientsEnabled = false;
    // Tools menu only: the Internet submenu, Scheduler and Timer.
    bool commandsEnabled = true;
    // Popup only.
    bool blankScreenChecked = false;
};

// The five policy buttons of the tool bar.
struct ToolbarPolicyButtons {
    bool internetSetting = false;
    bool scheduler = false;
    bool timer = false;
    bool whiteList = false;
    bool appBlocker = false;
};

// The File menu items that follow the selection.
struct FileMenuItems {
    bool deleteItem = false;
    bool whiteList = false;
    bool appBlocker = false;
    bool properties = false;
    bool rename = false;
    bool synchronise = false;
};

// Which popup items are shown for what lies under the pointer.
struct PopupVisibility {
    bool policy = false; // Internet, Scheduler, Timer and the schedule separator
    bool setToClients = false;
    bool inherit = false;
    bool clear = false;
    bool addNewGroup = false;
    bool nodeCommands = false; // separator 3, Delete, Rename, Refresh (Synchronise), Properties
    bool groupLists = false;   // White List, App Blocker
    bool refresh = false;      // separator 4, Refresh
    bool service = false;      // separator 5, Service
};

// Which commands fit the selection, and which policy the check marks show. Everything is read afresh
// from the database at each call.
class CommandAvailability {
public:
    CommandAvailability(Database& db, const Clock& clock);

    static ToolbarPolicyButtons Set_Toolbar_State(SelectionKind kind);
    static FileMenuItems fileMenuState(const QString& activeKey);
    // node is what lies under the pointer (nullptr for nothing); the root gets no popup at all.
    static PopupVisibility popupVisibility(const TreeNode* node);

    // The popup's policy items for a group or a system node; a system's group is its parent node.
    PolicyItems popupPolicy(const TreeNode* node) const;
    // The Tools menu for the active key; a system's group is the one System_Table names.
    // selectedParentKey is the key of the selected item's parent.
    PolicyItems Set_Tools_Menu_State(const QString& key, const QString& selectedParentKey) const;

private:
    // Checks from Schedule_Type, OnInternet, Timer_Starttime, Timer_Period, Timer_Type at columns
    // first to first + 4 of row.
    void applyPolicyState(PolicyItems& items, const QSqlQuery& row, int first) const;

    Database& m_db;
    const Clock& m_clock;
};

} // namespace kestrava
