#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrava {

class Database;

// The working state of a group list window: the catalogue entries not on the group's list
// (available), the group's list (listed), and the changed flag. Every move is written at once.
class GroupList {
public:
    static constexpr int kMaxEntries = 100;

    struct MoveResult {
        // Rows of the source list that moved, in the order of the walk (from the last row up);
        // each moved entry was appended to the other list in this order.
        QList<int> moved;
        // The walk stopped at the limit; the limit message is to be shown.
        bool limitReached = false;
    };

    virtual ~GroupList() = default;
    GroupList(const GroupList&) = delete;
    GroupList& operator=(const GroupList&) = delete;

    // Keeps key only when it is a group key; otherwise the lists stay empty and moves do nothing.
    void setGroupKey(const QString& key);
    const QString& groupKey() const { return m_groupKey; }
    bool hasGroup() const { return !m_groupKey.isEmpty(); }

    void load();
    const QStringList& available() const { return m_available; }
    const QStringList& listed() const { return m_listed; }
    bool changed() const { return m_changed; }
    // The node whose list is sent when the window closes: the group after a move, else none.
    QString keyToSendOnClose() const { return m_changed ? m_groupKey : QString(); }

    // Moves the selected rows of the available list onto the group's list, up to the limit.
    MoveResult moveTo(const QList<int>& selectedRows);
    // Moves the selected rows of the group's list back to the available list.
    MoveResult moveBack(const QList<int>& selectedRows);

    // "Cannot add anymore ..." with the limit.
    virtual QString limitMessage() const = 0;

protected:
    // catalogue(idColumn, nameColumn) lists the entries, link(Group_ID, idColumn) the group's rows.
    GroupList(Database& db, QString catalogue, QString idColumn, QString nameColumn, QString link);

    bool isListed(const QString& name) const { return m_listed.contains(name, Qt::CaseSensitive); }
    void addToGroup(qint64 entryId, qint64 groupId);

private:
    QStringList readNames(bool onList);
    qint64 readGroupId();

    Database& m_db;
    QString m_catalogue;
    QString m_idColumn;
    QString m_nameColumn;
    QString m_link;
    QString m_groupKey;
    QStringList m_available;
    QStringList m_listed;
    bool m_changed = false;
};

} // namespace kestrava
