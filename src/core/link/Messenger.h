#pragma once

#include "core/policy/ScheduleSender.h"

#include <QByteArray>
#include <QSet>
#include <QString>

namespace kestrava {

class Clock;
class ConnectionManager;
class Database;
class SystemTree;
struct TreeNode;

// Builds messages afresh from the database and delivers them to the connected systems that a tree
// node stands for. Nothing is sent to a system that is not connected. Payload builders throw
// DatabaseError; a walk stops at the member whose message failed.
class Messenger final : public ScheduleSender {
public:
    Messenger(Database& db, SystemTree& tree, ConnectionManager& connections, const Clock& clock);

    // A system: itself while connected; a group: its connected direct children; the root: every
    // connected system in walk order.
    void Enumerate_Childs_And_Send_Message(const QString& key, const QString& message);
    void Enumerate_Childs_And_Send_Scheduler(const QString& groupKey) override;
    void sendScheduleToSystem(const QString& systemKey) override;
    // "P" with the white list: the root sends every group its own, a group its members, a system
    // the list of the group that System_Table names for it.
    void Enumerate_Childs_And_Send_URL(const QString& key);
    // "P" with the list of the group under which the system stands in the tree; nothing for a system
    // under the root. node may be given when the caller has it.
    void Send_URL_List_To_System(const QString& key, const TreeNode* node = nullptr);
    // "B" with the block list, walked like Enumerate_Childs_And_Send_URL.
    void Enumerate_Childs_And_Send_Programs(const QString& key);

private:
    template <typename BuildMessage> void sendToGroups(const QString& key, BuildMessage build);
    QByteArray scheduleMessage(const QString& systemKey) const;
    // Keys of the systems whose effective policy is this group's, as stored. A node whose key differs
    // from the stored one in letter case only is missed here and gets a payload of its own, which is
    // the same payload, built once more.
    QSet<QString> groupFollowers(const QString& groupKey) const;

    Database& m_db;
    SystemTree& m_tree;
    ConnectionManager& m_connections;
    const Clock& m_clock;
};

} // namespace kestrava
