#include "core/link/Messenger.h"

#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/lists/ProgramListPayload.h"
#include "core/lists/UrlListPayload.h"
#include "core/policy/SchedulePayload.h"
#include "core/store/Database.h"
#include "protocol/ListOrders.h"
#include "protocol/WireCodec.h"

#include <QSqlQuery>
#include <algorithm>

namespace kestrava {

namespace {

bool hasConnectedChild(const TreeNode* node) {
    return std::any_of(node->children.begin(), node->children.end(),
                       [](const auto& child) { return child->isConnected(); });
}

} // namespace

Messenger::Messenger(Database& db, SystemTree& tree, ConnectionManager& connections, const Clock& clock)
    : m_db(db)
    , m_tree(tree)
    , m_connections(connections)
    , m_clock(clock) {}

void Messenger::Enumerate_Childs_And_Send_Message(const QString& key, const QString& message) {
    const TreeNode* node = m_tree.Get_Node_Index_From_Key(key);
    if (!node)
        return;
    // Encoded once and shared by every follower: right only while the payload is the group's. A payload
    // that differs per system (its own schedule, say) must be built and sent per system instead, or one
    // system's policy goes out to the whole group.
    const QByteArray bytes = WireCodec::encode(message);
    if (Keys::Is_System_Key(node->key)) {
        if (node->isConnected())
            m_connections.sendEncoded(node->key, bytes);
    } else if (Keys::Is_Group_Key(node->key)) {
        for (const auto& child : node->children) {
            if (child->isConnected())
                m_connections.sendEncodedLater(child->key, bytes);
        }
    } else if (Keys::Is_Root_Key(node->key)) {
        const std::vector<TreeNode*> nodes = m_tree.nodesInOrder();
        for (std::size_t i = 1; i < nodes.size(); ++i) {
            if (nodes[i]->isConnected())
                m_connections.sendEncodedLater(nodes[i]->key, bytes);
        }
    }
}

void Messenger::Enumerate_Childs_And_Send_Scheduler(const QString& groupKey) {
    const TreeNode* node = m_tree.Get_Node_Index_From_Key(groupKey);
    if (!node)
        return;
    if (!hasConnectedChild(node))
        return;
    // Every member that follows the group gets the group's payload: it is built once for the walk.
    const QSet<QString> followers = groupFollowers(groupKey);
    QByteArray shared;
    for (const auto& child : node->children) {
        if (!child->isConnected())
            continue;
        if (!followers.contains(child->key)) {
            m_connections.sendEncodedLater(child->key, scheduleMessage(child->key));
            continue;
        }
        if (shared.isEmpty())
            shared = scheduleMessage(child->key);
        m_connections.sendEncodedLater(child->key, shared);
    }
}

QByteArray Messenger::scheduleMessage(const QString& systemKey) const {
    return WireCodec::encode(encodeSchedule(Get_System_Schedule(m_db, m_clock, systemKey)));
}

QSet<QString> Messenger::groupFollowers(const QString& groupKey) const {
    QSet<QString> keys;
    // Read in one pass to its end, which also closes the read; a group may hold thousands.
    QSqlQuery rows =
        m_db.exec(QStringLiteral("SELECT System_Key FROM System_Table WHERE Apply_Systemwise_Settings=0 AND "
                                 "Group_ID=(SELECT Group_ID FROM Group_Table WHERE Group_Key=?)"),
                  {groupKey});
    while (rows.next())
        keys.insert(rows.value(0).toString());
    return keys;
}

void Messenger::sendScheduleToSystem(const QString& systemKey) {
    m_connections.Send_Data_To_System(systemKey,
                                      encodeSchedule(Get_System_Schedule(m_db, m_clock, systemKey)));
}

template <typename BuildMessage> void Messenger::sendToGroups(const QString& key, BuildMessage build) {
    if (Keys::Is_System_Key(key)) {
        m_connections.Send_Data_To_System(key, build(key));
        return;
    }
    std::vector<const TreeNode*> groups;
    if (Keys::Is_Root_Key(key)) {
        const std::vector<TreeNode*> nodes = m_tree.nodesInOrder();
        for (std::size_t i = 1; i < nodes.size(); ++i) {
            if (Keys::Is_Group_Key(nodes[i]->key))
                groups.push_back(nodes[i]);
        }
    } else if (Keys::Is_Group_Key(key)) {
        if (const TreeNode* group = m_tree.Get_Node_Index_From_Key(key))
            groups.push_back(group);
    }
    // A group without a connected member would receive nothing; its list is not even read.
    for (const TreeNode* group : groups) {
        if (hasConnectedChild(group))
            Enumerate_Childs_And_Send_Message(group->key, build(group->key));
    }
}

void Messenger::Enumerate_Childs_And_Send_URL(const QString& key) {
    sendToGroups(key, [this](const QString& k) { return encodeWhiteList(Get_URL_List(m_db, k)); });
}

void Messenger::Send_URL_List_To_System(const QString& key, const TreeNode* node) {
    if (!node)
        node = m_tree.Get_Node_Index_From_Key(key);
    if (!node || !node->parent || !Keys::Is_Group_Key(node->parent->key))
        return;
    const std::optional<QStringList> list = Get_URL_List(m_db, node->parent->key);
    if (list)
        m_connections.Send_Data_To_System(key, encodeWhiteList(list));
}

void Messenger::Enumerate_Childs_And_Send_Programs(const QString& key) {
    sendToGroups(key, [this](const QString& k) { return encodeBlockList(Get_Program_List(m_db, k)); });
}

} // namespace kestrava
