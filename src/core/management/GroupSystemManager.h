#pragma once

#include <QString>
#include <QStringList>

namespace kestrava {

class ConnectionManager;
class Database;
class Messenger;
class Questions;
class SystemListModel;
class SystemTree;
struct TreeNode;

// Adds, renames, deletes and moves groups and systems. Each operation writes the database first, in one
// transaction, and changes the tree and the list only after that succeeded; a failing statement throws
// DatabaseError and leaves all three as they were.
class GroupSystemManager {
public:
    static constexpr int kMaxNameLength = 30;

    GroupSystemManager(Database& db, SystemTree& tree, SystemListModel& list, Questions& questions);

    // Without a link no system counts as connected and moves send nothing.
    void setLink(ConnectionManager* connections, Messenger* messenger);

    // The first "NewGroup(n)" that no group has, as a new group under the root.
    TreeNode* Add_New_Group();
    // Checks the name and gives the group or system of key its new name; a group's own name in other
    // letter case is no conflict. refreshList shows the group's children again so that their Group column
    // follows. False when the name is refused (after saying why) or the key is the root's.
    bool Change_Group_Or_System_Name(const QString& key, const QString& newName, bool refreshList);
    // An empty group goes at once; a group with systems and a connected system are refused; any other
    // system is deleted after the question. True only when a group was deleted.
    bool Delete_Group_Or_System(TreeNode* node);
    // Asks deleteGroupQuestion first, No being the default; on Yes moves the group's systems to the root
    // and deletes the group, in one transaction. True when the group was deleted.
    bool deleteGroupMovingSystems(TreeNode* group);
    // Moves the systems among keys (the list's selected items in list order, processed from the last)
    // under target, a group or the root; origin is the node whose children the list shows, and is shown
    // again afterwards. Nothing when target is missing, a system, or the origin itself.
    void Move_Selected_Systems(TreeNode* target, const TreeNode* origin, const QStringList& keys);
    // The drag of one system node in the tree onto target. False when nothing moved.
    bool moveDraggedSystem(TreeNode* dragged, TreeNode* target);
    // Each system among keys gets its computer name as its alias again.
    void Set_Default_Names(const QStringList& keys);

    static QString nullNameText();
    static QString tooLongNameText();
    static QString invalidNameText();
    static QString groupNotUniqueText();
    static QString connectedClientText();
    static QString groupHasSystemsText(const QString& groupName);
    static QString deleteClientQuestion(const QString& alias);
    static QString deleteGroupQuestion(const QString& groupName);

private:
    // Moves one system node under target, database first, and sends it the move flag and its schedule.
    void moveSystem(TreeNode* system, TreeNode* target);
    // The statements of one move; the caller holds the transaction.
    void storeMove(const QString& key, const TreeNode* target);
    // The tree and the messages of a move that is stored.
    void showMove(TreeNode* system, TreeNode* target);

    Database& m_db;
    SystemTree& m_tree;
    SystemListModel& m_list;
    Questions& m_questions;
    ConnectionManager* m_connections = nullptr;
    Messenger* m_messenger = nullptr;
};

} // namespace kestrava
