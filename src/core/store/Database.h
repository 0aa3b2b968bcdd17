#pragma once

#include "core/store/DatabaseError.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

namespace kestrava {

class FileChanges;

// The one connection to the policy database. Every statement is prepared with bound values;
// a failing statement throws DatabaseError.
class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file; never creates one. Throws DatabaseError when the file is missing,
    // unreadable or not a database.
    void open(const QString& path);
    // Writes a new factory database at path, owner-readable only. Refuses to touch an existing file.
    static void createFactory(const QString& path);

    bool isOpen() const;
    QString path() const { return m_path; }
    void close();

    // Runs one statement with its values bound in order and returns the positioned-before-first query.
    QSqlQuery exec(const QString& sql, const QVariantList& values = {});
    // The same for a write that touches nothing but the row of one key, such as a new system: what was
    // built for other keys stays valid (keyWrites).
    QSqlQuery execForKey(const QString& key, const QString& sql, const QVariantList& values = {});
    // The first column of the first row, or an invalid QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& values = {});

    // Reads for the answers to client services, which run the same few statements again and again:
    // the statement stays prepared between calls, and it is reset before these return, so no read is
    // left open. firstRow is nullopt when there is no row.
    std::optional<QSqlRecord> firstRow(const QString& sql, const QVariantList& values = {});
    QList<QSqlRecord> rows(const QString& sql, const QVariantList& values = {});

    // Runs work inside one transaction: commits when it returns, rolls back and rethrows when it throws.
    // Nested calls join the outer transaction.
    void transaction(const std::function<void()>& work);

    QSqlDatabase& connection() { return m_db; }

    // Changes whenever what the file holds may have changed: with each of our own writes through exec (every
    // statement but a SELECT), a rollback, an open or close, and any commit by another connection, seen the
    // moment it happens. Equal only for the same connection with the same data apart from keyWrites, so
    // payloads built while it holds can be sent again.
    quint64 version();
    // The keys written by execForKey since version() last changed, each as foldedKey gives it.
    const QStringList& keyWrites() const { return m_keyWrites; }
    // A key as the database compares keys: ASCII letters in one case.
    static QString foldedKey(const QString& key);

private:
    static QSqlDatabase addConnection(const QString& name);
    QSqlQuery run(const QString& sql, const QVariantList& values);
    void changed();
    qint64 dataVersion();
    QSqlQuery& preparedStatement(const QString& sql);
    QSqlQuery& preparedRead(const QString& sql, const QVariantList& values);
    void throwLastError(const QSqlError& error) const;

    QString m_connectionName;
    QSqlDatabase m_db;
    QString m_path;
    int m_transactionDepth = 0;
    static constexpr qsizetype kMaxKeyWrites = 100'000;
    quint64 m_version;
    QStringList m_keyWrites;
    std::unique_ptr<FileChanges> m_fileChanges;
    // PRAGMA data_version when the file last changed; -1 when not known.
    qint64 m_dataVersion = -1;
    // Statements kept prepared: the reads of firstRow and rows, and every write.
    QHash<QString, QSqlQuery> m_prepared;
};

} // namespace kestrava
