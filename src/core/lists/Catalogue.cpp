#include "core/lists/Catalogue.h"

#include "core/console/Keys.h"
#include "core/store/Database.h"

#include <QSqlQuery>
#include <algorithm>

namespace kestrava {

Catalogue::Catalogue(Database& db, QString table, QString column)
    : m_db(db)
    , m_table(std::move(table))
    , m_column(std::move(column)) {}

void Catalogue::load() {
    QStringList entries;
    QSqlQuery query = m_db.exec(QStringLiteral("SELECT %1 FROM %2").arg(m_column, m_table));
    while (query.next())
        entries.append(query.value(0).toString());
    m_entries = entries;
}

QString Catalogue::keyToSendOnClose() const {
    return m_changed ? Keys::rootKey() : QString();
}

Catalogue::AddResult Catalogue::add(const QString& typed) {
    if (typed.isEmpty())
        return {};
    QString text = typed;
    QString message;
    if (!validate(text, message))
        return {AddOutcome::Refused, message};
    if (isListed(text))
        return {AddOutcome::AlreadyAdded, alreadyAddedMessage()};
    m_db.exec(QStringLiteral("INSERT INTO %1(%2) VALUES(?)").arg(m_table, m_column), {text});
    m_entries.append(text);
    return {AddOutcome::Added, {}};
}

void Catalogue::removeRows(const QList<int>& rows) {
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QStringList remaining = m_entries;
    bool removed = false;
    m_db.transaction([&] {
        for (const int row : sorted) {
            if (row < 0 || row >= remaining.size())
                continue;
            m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(m_table, m_column),
                      {remaining.at(row)});
            remaining.removeAt(row);
            removed = true;
        }
    });
    m_entries = remaining;
    m_changed = m_changed || removed;
}

} // namespace kestrava
