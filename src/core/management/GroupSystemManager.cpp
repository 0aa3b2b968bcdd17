#include "core/management/GroupSystemManager.h"

#include "core/console/Keys.h"
#include "core/console/Questions.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/link/Messenger.h"
#include "core/store/Database.h"
#include "core/store/StorableText.h"
#include "protocol/ShortOrders.h"

#include <algorithm>

namespace kestrava {

GroupSystemManager::GroupSystemManager(Database& db, SystemTree& tree, SystemListModel& list,
                                       Questions& questions)
    : m_db(db)
    , m_tree(tree)
    , m_list(list)
    , m_questions(questions) {}

void GroupSystemManager::setLink(ConnectionManager* connections, Messenger* messenger) {
    m_connections = connections;
    m_messenger = messenger;
}

QString GroupSystemManager::nullNameText() {
    return QStringLiteral("Group/System name cannot be Null");
}

QString GroupSystemManager::tooLongNameText() {
    return QStringLiteral("Group/System name should be less than ") + QString::number(kMaxNameLength);
}

QString GroupSystemManager::invalidNameText() {
    return QStringLiteral("Invalid Group/System name");
}

QString GroupSystemManager::groupNotUniqueText() {
    return QStringLiteral("Group name must be unique..!");
}

QString GroupSystemManager::connectedClientText() {
    return QStringLiteral("You cannot delete a connected client!");
}

QString GroupSystemManager::groupHasSystemsText(const QString& groupName) {
    return QStringLiteral("The group '") + groupName + QStringLiteral("' consists of client system(s).\r\n") +
           QStringLiteral("Cannot delete the group!");
}

QString GroupSystemManager::deleteClientQuestion(const QString& alias) {
    return QStringLiteral("Are you sure you want to delete the client '") + alias + QStringLiteral("'?");
}

QString GroupSystemManager::deleteGroupQuestion(const QString& groupName) {
    return QStringLiteral("Delete the group '") + groupName +
           QStringLiteral("' and move its systems to the root?");
}

TreeNode* GroupSystemManager::Add_New_Group() {
    QString name;
    QString key;
    for (int n = 0;; ++n) {
        name = QStringLiteral("NewGroup(%1)").arg(n);
        key = Keys::Make_Group_Key(name);
        if (!m_tree.Get_Node_Index_From_Key(key))
            break;
    }
    m_db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"), {key, name});
    return m_tree.addNode(m_tree.root(), key, name, NodeImage::Group, NodeImage::SelectedGroup);
}

bool GroupSystemManager::Change_Group_Or_System_Name(const QString& key, const QString& newName,
                                                     bool refreshList) {
    if (newName.isEmpty()) {
        m_questions.inform(nullNameText());
        return false;
    }
    if (newName.size() > kMaxNameLength) {
        m_questions.inform(tooLongNameText());
        return false;
    }
    if (newName.contains(QLatin1Char('\''))) {
        m_questions.inform(invalidNameText());
        return false;
    }
    TreeNode* node = m_tree.Get_Node_Index_From_Key(key);
    if (!node)
        return false;
    // Stored and shown as the database gives it back, so the tree matches the rows after a restart.
    const QString name = StorableText::of(newName);
    if (Keys::Is_Group_Key(key)) {
        const QString newKey = Keys::Make_Group_Key(name);
        // Keys ignore case, so a change of letter case alone finds the group itself: no conflict.
        const TreeNode* holder = m_tree.Get_Node_Index_From_Key(newKey);
        if (holder && holder != node) {
            m_questions.inform(groupNotUniqueText());
            return false;
        }
        m_db.exec(QStringLiteral("UPDATE Group_Table SET Group_Key=?,Group_Name=? WHERE Group_Key=?"),
                  {newKey, name, node->key});
        m_tree.setKey(node, newKey);
        m_tree.setText(node, name);
        if (refreshList)
            m_list.Show_Node_In_List(node);
        return true;
    }
    if (Keys::Is_System_Key(key)) {
        m_db.exec(QStringLiteral("UPDATE System_Table SET System_Name=? WHERE System_Key=?"),
                  {name, node->key});
        m_tree.setText(node, name);
        return true;
    }
    return false;
}

bool GroupSystemManager::Delete_Group_Or_System(TreeNode* node) {
    if (!node)
        return false;
    if (Keys::Is_Group_Key(node->key)) {
        if (!node->children.empty()) {
            m_questions.inform(groupHasSystemsText(node->text));
            return false;
        }
        m_db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_Key=?"), {node->key});
        m_tree.removeNode(node);
        return true;
    }
    if (!Keys::Is_System_Key(node->key))
        return false;
    if (m_connections && m_connections->isConnected(m_connections->Find_Socket_Of_System(node->key))) {
        m_questions.inform(connectedClientText());
        return false;
    }
    if (!m_questions.confirm(deleteClientQuestion(node->text)))
        return false;
    m_db.exec(QStringLiteral("DELETE FROM System_Table WHERE System_Key=?"), {node->key});
    m_tree.removeNode(node);
    return false;
}

bool GroupSystemManager::deleteGroupMovingSystems(TreeNode* group) {
    if (!group || !Keys::Is_Group_Key(group->key) || !m_questions.confirm(deleteGroupQuestion(group->text)))
        return false;
    std::vector<TreeNode*> systems;
    for (const auto& child : group->children)
        systems.push_back(child.get());
    m_db.transaction([&] {
        for (const TreeNode* system : systems)
            storeMove(system->key, m_tree.root());
        m_db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_Key=?"), {group->key});
    });
    for (TreeNode* system : systems)
        showMove(system, m_tree.root());
    m_tree.removeNode(group);
    return true;
}

void GroupSystemManager::storeMove(const QString& key, const TreeNode* target) {
    if (Keys::Is_Group_Key(target->key)) {
        m_db.exec(QStringLiteral("UPDATE System_Table SET Group_ID=(SELECT Group_ID FROM Group_Table WHERE "
                                 "Group_Key=?) WHERE System_Key=? AND EXISTS (SELECT 1 FROM Group_Table "
                                 "WHERE Group_Key=?)"),
                  {target->key, key, target->key});
        m_db.exec(QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=0 WHERE System_Key=?"),
                  {key});
    } else {
        m_db.exec(QStringLiteral("UPDATE System_Table SET Group_ID=0 WHERE System_Key=?"), {key});
    }
}

void GroupSystemManager::showMove(TreeNode* system, TreeNode* target) {
    const QString key = system->key;
    m_tree.moveNode(system, target);
    if (m_connections)
        m_connections->Send_Data_To_System(key, encodeFlag(Messages::kFlagMoved));
    if (m_messenger)
        m_messenger->sendScheduleToSystem(key);
}

void GroupSystemManager::moveSystem(TreeNode* system, TreeNode* target) {
    m_db.transaction([&] { storeMove(system->key, target); });
    showMove(system, target);
}

// One transaction for the whole selection: a failure or a crash never leaves part of it moved.
void GroupSystemManager::Move_Selected_Systems(TreeNode* target, const TreeNode* origin,
                                               const QStringList& keys) {
    if (!target || target == origin || !(Keys::Is_Root_Key(target->key) || Keys::Is_Group_Key(target->key)))
        return;
    std::vector<TreeNode*> moving;
    for (auto it = keys.crbegin(); it != keys.crend(); ++it) {
        if (!Keys::Is_System_Key(*it))
            continue;
        TreeNode* system = m_tree.Get_Node_Index_From_Key(*it);
        if (system && system->parent != target &&
            std::find(moving.begin(), moving.end(), system) == moving.end())
            moving.push_back(system);
    }
    try {
        m_db.transaction([&] {
            for (const TreeNode* system : moving)
                storeMove(system->key, target);
        });
        for (TreeNode* system : moving)
            showMove(system, target);
    } catch (...) {
        m_list.Show_Node_In_List(origin);
        throw;
    }
    m_list.Show_Node_In_List(origin);
}

bool GroupSystemManager::moveDraggedSystem(TreeNode* dragged, TreeNode* target) {
    if (!dragged || !target || !dragged->parent || !Keys::Is_System_Key(dragged->key) ||
        target == dragged->parent || !(Keys::Is_Root_Key(target->key) || Keys::Is_Group_Key(target->key)))
        return false;
    const TreeNode* formerParent = dragged->parent;
    moveSystem(dragged, target);
    m_list.Show_Node_In_List(formerParent);
    return true;
}

void GroupSystemManager::Set_Default_Names(const QStringList& keys) {
    std::vector<std::pair<TreeNode*, QString>> renamed;
    m_db.transaction([&] {
        for (const QString& key : keys) {
            TreeNode* node = m_tree.Get_Node_Index_From_Key(key);
            if (!node || !Keys::Is_System_Key(node->key))
                continue;
            const QString name = Keys::Get_System_Field_From_Key(node->key);
            m_db.exec(QStringLiteral("UPDATE System_Table SET System_Name=? WHERE System_Key=?"),
                      {name, node->key});
            renamed.emplace_back(node, name);
        }
    });
    for (const auto& [node, name] : renamed)
        m_tree.setText(node, name);
}

} // namespace kestrava
