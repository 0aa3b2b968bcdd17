#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrava {

class Database;

// The working state of a catalogue window: the entries as loaded, in the database's order, and the
// changed flag. Every addition and deletion is written at once; closing the window only sends.
class Catalogue {
public:
    enum class AddOutcome { Empty, Refused, AlreadyAdded, Added };
    struct AddResult {
        AddOutcome outcome = AddOutcome::Empty;
        // The refusal to show for Refused and AlreadyAdded.
        QString message;
    };

    virtual ~Catalogue() = default;
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // Reads the catalogue afresh; the changed flag is not touched.
    void load();
    const QStringList& entries() const { return m_entries; }
    int count() const { return static_cast<int>(m_entries.size()); }
    // At least one entry was deleted since the window opened.
    bool changed() const { return m_changed; }
    // The node whose lists are sent when the window closes: the root after a deletion, else none.
    QString keyToSendOnClose() const;

    // Validates, refuses duplicates of the loaded list, stores and appends.
    AddResult add(const QString& typed);
    // Deletes the entries at rows (any order) in one transaction; the list changes only when it commits.
    void removeRows(const QList<int>& rows);

protected:
    Catalogue(Database& db, QString table, QString column);

    // Replaces text by the form to store; false with a message when it is refused.
    virtual bool validate(QString& text, QString& message) const = 0;
    virtual bool isListed(const QString& text) const = 0;
    virtual QString alreadyAddedMessage() const = 0;

private:
    Database& m_db;
    QString m_table;
    QString m_column;
    QStringList m_entries;
    bool m_changed = false;
};

} // namespace kestrava
