#include "core/lists/GroupList.h"

#include "core/console/Keys.h"
#include "core/store/Database.h"

#include <QSqlQuery>
#include <algorithm>

namespace kestrava {

namespace {

QList<int> descending(const QList<int>& rows, qsizetype size) {
    QList<int> sorted;
    for (const int row : rows) {
        if (row >= 0 && row < size)
            sorted.append(row);
    }
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    return sorted;
}

} // namespace

GroupList::GroupList(Database& db, QString catalogue, QString idColumn, QString nameColumn, QString link)
    : m_db(db)
    , m_catalogue(std::move(catalogue))
    , m_idColumn(std::move(idColumn))
    , m_nameColumn(std::move(nameColumn))
    , m_link(std::move(link)) {}

void GroupList::setGroupKey(const QString& key) {
    m_groupKey = Keys::Is_Group_Key(key) ? key : QString();
}

void GroupList::load() {
    if (!hasGroup())
        return;
    QStringList available = readNames(false);
    QStringList listed = readNames(true);
    m_available = available;
    m_listed = listed;
}

QStringList GroupList::readNames(bool onList) {
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 %4 (SELECT %3 FROM %5 WHERE Group_ID=(SELECT Group_ID "
                       "FROM Group_Table WHERE Group_Key=?))")
            .arg(m_nameColumn, m_catalogue, m_idColumn,
                 onList ? QStringLiteral("IN") : QStringLiteral("NOT IN"), m_link);
    QStringList names;
    QSqlQuery query = m_db.exec(sql, {m_groupKey});
    while (query.next())
        names.append(query.value(0).toString());
    return names;
}

qint64 GroupList::readGroupId() {
    const QVariant id =
        m_db.scalar(QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_Key=?"), {m_groupKey});
    // The group was deleted while the window was open: reported like any failed read.
    if (!id.isValid())
        throw DatabaseError(QStringLiteral("3021"),
                            QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                           "deleted. Requested operation requires a current record."));
    return id.toLongLong();
}

void GroupList::addToGroup(qint64 entryId, qint64 groupId) {
    m_db.exec(QStringLiteral("INSERT INTO %1(Group_ID,%2) VALUES(?,?)").arg(m_link, m_idColumn),
              {groupId, entryId});
}

GroupList::MoveResult GroupList::moveTo(const QList<int>& selectedRows) {
    MoveResult result;
    if (!hasGroup())
        return result;
    const qint64 groupId = readGroupId();
    if (groupId <= 0)
        return result;
    QStringList available = m_available;
    QStringList listed = m_listed;
    m_db.transaction([&] {
        for (const int row : descending(selectedRows, available.size())) {
            if (listed.size() >= kMaxEntries) {
                result.limitReached = true;
                break;
            }
            const QString name = available.at(row);
            if (listed.contains(name, Qt::CaseSensitive))
                continue;
            const QVariant id = m_db.scalar(
                QStringLiteral("SELECT %1 FROM %2 WHERE %3=?").arg(m_idColumn, m_catalogue, m_nameColumn),
                {name});
            if (!id.isValid())
                continue;
            addToGroup(id.toLongLong(), groupId);
            listed.append(name);
            available.removeAt(row);
            result.moved.append(row);
        }
    });
    m_available = available;
    m_listed = listed;
    m_changed = m_changed || !result.moved.isEmpty();
    return result;
}

GroupList::MoveResult GroupList::moveBack(const QList<int>& selectedRows) {
    MoveResult result;
    if (!hasGroup())
        return result;
    QStringList available = m_available;
    QStringList listed = m_listed;
    m_db.transaction([&] {
        for (const int row : descending(selectedRows, listed.size())) {
            const QString name = listed.at(row);
            m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2=(SELECT %2 FROM %3 WHERE %4=?) AND "
                                     "Group_ID=(SELECT Group_ID FROM Group_Table WHERE Group_Key=?)")
                          .arg(m_link, m_idColumn, m_catalogue, m_nameColumn),
                      {name, m_groupKey});
            available.append(name);
            listed.removeAt(row);
            result.moved.append(row);
        }
    });
    m_available = available;
    m_listed = listed;
    m_changed = m_changed || !result.moved.isEmpty();
    return result;
}

} // namespace kestrava
