#include "core/store/DatabaseFileWatch.h"

#include "core/store/Database.h"

#include <QFile>
#include <QFileInfo>

namespace kestrava {

DatabaseFileWatch::DatabaseFileWatch(Database& db, QObject* parent)
    : QObject(parent)
    , m_db(db) {
    connect(&m_timer, &QTimer::timeout, this, &DatabaseFileWatch::check);
}

void DatabaseFileWatch::start(std::chrono::milliseconds interval) {
    m_timer.start(interval);
}

bool DatabaseFileWatch::check() {
    const QString path = m_db.path();
    if (path.isEmpty() || !m_db.isOpen() || QFileInfo::exists(path))
        return false;
    // Written beside the path first and renamed into place whole; the old file's side files go with
    // the old connection.
    const QString copy = path + QStringLiteral(".restore");
    try {
        QFile::remove(copy);
        {
            QFile file(copy);
            if (!file.open(QIODevice::NewOnly | QIODevice::WriteOnly))
                throw DatabaseError(QStringLiteral("14"), file.errorString());
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        m_db.exec(QStringLiteral("VACUUM INTO ?"), {copy});
        m_db.close();
        if (!QFile::rename(copy, path))
            throw DatabaseError(QStringLiteral("14"), QStringLiteral("Cannot write '%1'.").arg(path));
        m_db.open(path);
    } catch (const DatabaseError& error) {
        if (m_db.isOpen()) {
            QFile::remove(copy);
        } else {
            // The copy holds everything and could not be put in place: keep working on it.
            try {
                m_db.open(copy);
            } catch (const DatabaseError&) {
            }
        }
        if (!m_failedOnce)
            emit failed(QStringLiteral("The policy database '%1' was deleted while the console was running "
                                       "and cannot be written again (%2). Changes made from now on are lost "
                                       "when the console ends.")
                            .arg(path, error.toMessage()));
        m_failedOnce = true;
        return false;
    }
    m_failedOnce = false;
    emit restored(QStringLiteral("The policy database '%1' was deleted while the console was running. It has "
                                 "been written again with everything stored so far.")
                      .arg(path));
    return true;
}

} // namespace kestrava
