#include "core/startup/DatabaseCompactor.h"

#include "core/startup/Clock.h"
#include "core/store/Database.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

namespace kestrava {

namespace {

// Numbers for failures outside SQLite; they follow SQLite's own codes.
const QString kIoError = QStringLiteral("10");
const QString kBusy = QStringLiteral("5");
const QString kCorrupt = QStringLiteral("11");

QString wal(const QString& path) {
    return path + QStringLiteral("-wal");
}

QString shm(const QString& path) {
    return path + QStringLiteral("-shm");
}

} // namespace

bool Is_Compaction_Day(const Clock& clock) {
    return clock.now().date().dayOfWeek() == Qt::Friday;
}

bool Compact_Database(const QString& path, const Clock& clock) {
    if (!Is_Compaction_Day(clock))
        return false;
    DatabaseCompactor(path).compact();
    return true;
}

DatabaseCompactor::DatabaseCompactor(QString path)
    : m_path(std::move(path)) {}

void DatabaseCompactor::reach(Stage stage) {
    if (m_stageHook)
        m_stageHook(stage);
}

void DatabaseCompactor::compact() {
    const QFileInfo info(m_path);
    QTemporaryFile copy(
        info.dir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".compact-XXXXXX")));
    {
        // Reading through an open connection includes what is still in the write-ahead log.
        Database source;
        source.open(m_path);
        if (!copy.open())
            throw DatabaseError(kIoError,
                                QStringLiteral("Cannot create a file in '%1': %2")
                                    .arg(QDir::toNativeSeparators(info.absolutePath()), copy.errorString()));
        copy.close();
        source.exec(QStringLiteral("VACUUM INTO ?"), {copy.fileName()});
        // Closing the last connection checkpoints the log into the file and removes it.
        source.close();
    }
    reach(Stage::Copied);
    checkCopy(copy.fileName());
    reach(Stage::Checked);
    refuseWhileInUse();
    replaceWith(copy.fileName());
}

void DatabaseCompactor::checkCopy(const QString& copyPath) {
    static QAtomicInt counter;
    const QString name = QStringLiteral("kestrava-compaction-check-%1").arg(counter.fetchAndAddRelaxed(1));
    QString verdict;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(copyPath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next())
                verdict = query.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (verdict != QLatin1String("ok"))
        throw DatabaseError(kCorrupt, QStringLiteral("The compacted copy of '%1' failed its check.")
                                          .arg(QDir::toNativeSeparators(m_path)));
}

// A log that outlived our connection belongs to another one; replacing the file under it would lose data.
void DatabaseCompactor::refuseWhileInUse() {
    const QFileInfo log(wal(m_path));
    if (log.exists() && log.size() > 0)
        throw DatabaseError(
            kBusy,
            QStringLiteral("'%1' is in use by another program.").arg(QDir::toNativeSeparators(m_path)));
}

void DatabaseCompactor::replaceWith(const QString& copyPath) {
    QFile source(copyPath);
    QSaveFile target(m_path);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        throw DatabaseError(kIoError, QStringLiteral("Cannot replace '%1': %2")
                                          .arg(QDir::toNativeSeparators(m_path), target.errorString()));
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(1 << 16);
        if (chunk.isEmpty() || target.write(chunk) != chunk.size())
            throw DatabaseError(kIoError, QStringLiteral("Cannot write '%1': %2")
                                              .arg(QDir::toNativeSeparators(m_path), target.errorString()));
    }
    reach(Stage::Written);
    if (!target.commit())
        throw DatabaseError(kIoError, QStringLiteral("Cannot replace '%1': %2")
                                          .arg(QDir::toNativeSeparators(m_path), target.errorString()));
    // The old file's empty side files must not be taken for the new file's.
    QFile::remove(wal(m_path));
    QFile::remove(shm(m_path));
}

} // namespace kestrava
