#include "core/store/Database.h"

#include "core/platform/FileChanges.h"
#include "core/store/Schema.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <algorithm>
#include <atomic>

namespace kestrava {

namespace {

QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("kestrava-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Unique over every connection of the process, so that no two states of two databases share one.
quint64 nextVersion() {
    static std::atomic<quint64> counter{0};
    return ++counter;
}

// Numbers for failures that happen before SQLite is asked; they follow SQLite's own codes.
const QString kCantOpen = QStringLiteral("14");
const QString kNotADatabase = QStringLiteral("26");

} // namespace

Database::Database()
    : m_connectionName(nextConnectionName())
    , m_db(addConnection(m_connectionName))
    , m_version(nextVersion()) {}

Database::~Database() {
    close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase Database::addConnection(const QString& name) {
    return QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
}

void Database::open(const QString& path) {
    close();
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw DatabaseError(kCantOpen, QStringLiteral("Could not find file '%1'.").arg(path));
    if (!info.isReadable())
        throw DatabaseError(kCantOpen, QStringLiteral("Cannot read file '%1'.").arg(path));
    if (info.size() == 0)
        throw DatabaseError(kNotADatabase, QStringLiteral("'%1' is not a database.").arg(path));

    changed();
    m_db.setDatabaseName(path);
    // A database held by another program fails fast instead of freezing the window; callers retry.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=250"));
    if (!m_db.open())
        throwLastError(m_db.lastError());
    m_path = path;
    try {
        // Reading the schema is what tells a corrupt or foreign file from a database.
        exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
        if (info.isWritable())
            exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        if (info.isWritable() && scalar(QStringLiteral("PRAGMA user_version")).toInt() < Schema::kVersion)
            transaction([&] { Schema::upgrade(*this); });
    } catch (...) {
        close();
        throw;
    }
}

void Database::createFactory(const QString& path) {
    if (QFileInfo::exists(path))
        throw DatabaseError(kCantOpen, QStringLiteral("'%1' already exists.").arg(path));
    {
        // Created owner-only before SQLite sees it; SQLite gives its side files the same mode.
        QFile file(path);
        if (!file.open(QIODevice::NewOnly | QIODevice::WriteOnly))
            throw DatabaseError(kCantOpen,
                                QStringLiteral("Cannot create '%1': %2").arg(path, file.errorString()));
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    try {
        Database db;
        db.m_db.setDatabaseName(path);
        if (!db.m_db.open())
            db.throwLastError(db.m_db.lastError());
        db.m_path = path;
        db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        db.transaction([&] { Schema::createTables(db); });
    } catch (...) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        throw;
    }
}

bool Database::isOpen() const {
    return m_db.isOpen();
}

void Database::close() {
    changed();
    m_fileChanges.reset();
    m_prepared.clear();
    if (m_db.isOpen())
        m_db.close();
    m_path.clear();
    m_transactionDepth = 0;
}

void Database::changed() {
    m_version = nextVersion();
    m_keyWrites.clear();
}

QString Database::foldedKey(const QString& key) {
    // As SQLite's NOCASE compares: ASCII letters only. A key without small letters is shared, not copied.
    const auto small = [](QChar c) { return c >= u'a' && c <= u'z'; };
    if (std::none_of(key.cbegin(), key.cend(), small))
        return key;
    QString folded = key;
    for (QChar& c : folded) {
        if (small(c))
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return folded;
}

QSqlQuery Database::execForKey(const QString& key, const QString& sql, const QVariantList& values) {
    if (m_keyWrites.size() >= kMaxKeyWrites)
        changed();
    else
        m_keyWrites.append(foldedKey(key));
    return run(sql, values);
}

QSqlQuery Database::exec(const QString& sql, const QVariantList& values) {
    if (!sql.startsWith(QLatin1String("SELECT ")))
        changed();
    return run(sql, values);
}

QSqlQuery Database::run(const QString& sql, const QVariantList& values) {
    // Writes finish inside exec, so their statements can stay prepared for the next call; a new system
    // is one INSERT, and thousands may arrive at once.
    const bool write = sql.startsWith(QLatin1String("INSERT ")) || sql.startsWith(QLatin1String("UPDATE ")) ||
                       sql.startsWith(QLatin1String("DELETE "));
    if (write) {
        QSqlQuery& prepared = preparedStatement(sql);
        for (int i = 0; i < values.size(); ++i)
            prepared.bindValue(i, values[i]);
        if (!prepared.exec()) {
            const QSqlError error = prepared.lastError();
            prepared.finish();
            throwLastError(error);
        }
        // A shared handle on the kept statement: its results are those of this call until the next one.
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QSqlQuery shared = prepared;
        QT_WARNING_POP
        return shared;
    }
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throwLastError(query.lastError());
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throwLastError(query.lastError());
    return query;
}

QVariant Database::scalar(const QString& sql, const QVariantList& values) {
    QSqlQuery query = exec(sql, values);
    return query.next() ? query.value(0) : QVariant();
}

QSqlQuery& Database::preparedStatement(const QString& sql) {
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            throwLastError(query.lastError());
        it = m_prepared.insert(sql, query);
    }
    return *it;
}

QSqlQuery& Database::preparedRead(const QString& sql, const QVariantList& values) {
    QSqlQuery& query = preparedStatement(sql);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec()) {
        const QSqlError error = query.lastError();
        query.finish();
        throwLastError(error);
    }
    return query;
}

std::optional<QSqlRecord> Database::firstRow(const QString& sql, const QVariantList& values) {
    QSqlQuery& query = preparedRead(sql, values);
    std::optional<QSqlRecord> row;
    if (query.next())
        row = query.record();
    query.finish();
    return row;
}

QList<QSqlRecord> Database::rows(const QString& sql, const QVariantList& values) {
    QSqlQuery& query = preparedRead(sql, values);
    QList<QSqlRecord> all;
    while (query.next())
        all.append(query.record());
    query.finish();
    return all;
}

void Database::transaction(const std::function<void()>& work) {
    if (m_transactionDepth > 0) {
        ++m_transactionDepth;
        try {
            work();
        } catch (...) {
            --m_transactionDepth;
            throw;
        }
        --m_transactionDepth;
        return;
    }
    if (!m_db.transaction())
        throwLastError(m_db.lastError());
    m_transactionDepth = 1;
    try {
        work();
    } catch (...) {
        m_transactionDepth = 0;
        m_db.rollback();
        changed();
        throw;
    }
    m_transactionDepth = 0;
    if (!m_db.commit()) {
        const QSqlError error = m_db.lastError();
        m_db.rollback();
        changed();
        throwLastError(error);
    }
}

quint64 Database::version() {
    if (!m_db.isOpen())
        return m_version;
    // Watched from the first question on: a watch started later sees none of the changes before it.
    if (!m_fileChanges) {
        m_fileChanges = std::make_unique<FileChanges>(m_path);
        m_dataVersion = dataVersion();
        changed();
    } else if (m_fileChanges->take()) {
        // The watch also sees our own writes; SQLite tells whether another connection committed. Inside
        // a transaction it would answer for our snapshot only, so any write counts there.
        const qint64 seen = m_transactionDepth > 0 ? -1 : dataVersion();
        if (seen < 0 || seen != m_dataVersion)
            changed();
        m_dataVersion = seen;
    }
    return m_version;
}

qint64 Database::dataVersion() {
    const std::optional<QSqlRecord> row = firstRow(QStringLiteral("PRAGMA data_version"));
    return row ? row->value(0).toLongLong() : -1;
}

void Database::throwLastError(const QSqlError& error) const {
    QString number = error.nativeErrorCode();
    if (number.isEmpty())
        number = QString::number(static_cast<int>(error.type()));
    QString description = error.databaseText();
    if (description.isEmpty())
        description = error.text();
    throw DatabaseError(number, description);
}

} // namespace kestrava
