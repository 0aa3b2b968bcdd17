#include "agent/state/ConsolePin.h"

#include "tls/Fingerprint.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPin, "kestrava.agent.link")

namespace kestrava::agent {

ConsolePin::ConsolePin(QString stateDir, bool dryRun)
    : m_stateDir(std::move(stateDir))
    , m_dryRun(dryRun) {}

QString ConsolePin::path() const {
    return QDir(m_stateDir).filePath(QStringLiteral("console.pin"));
}

QByteArray ConsolePin::load(QString* error) const {
    if (m_dryRunPin)
        return *m_dryRunPin;
    QFile file(path());
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path(), file.errorString());
        return {};
    }
    const QByteArray digest = Fingerprint::parse(QString::fromLatin1(file.readAll().trimmed()));
    if (digest.isEmpty())
        *error = QStringLiteral("%1 holds no fingerprint").arg(path());
    return digest;
}

bool ConsolePin::save(const QByteArray& digest, QString* error) const {
    const QString fingerprint = Fingerprint::text(digest);
    if (m_dryRun) {
        qCInfo(lcPin).noquote() << "dry run: would pin the console's key" << fingerprint << "in" << path();
        m_dryRunPin = digest;
        return true;
    }
    if (!QDir().mkpath(m_stateDir)) {
        *error = QStringLiteral("cannot create %1").arg(m_stateDir);
        return false;
    }
    QFile::setPermissions(m_stateDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSaveFile file(path());
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
                         file.write(fingerprint.toLatin1() + '\n') > 0 && file.commit();
    if (!written) {
        *error = QStringLiteral("cannot write %1: %2").arg(path(), file.errorString());
        return false;
    }
    qCInfo(lcPin).noquote() << "pinned the console's key" << fingerprint << "at its first contact in"
                            << path();
    return true;
}

bool ConsolePin::clear(QString* error) const {
    if (m_dryRun) {
        m_dryRunPin = QByteArray();
        return true;
    }
    // unlink tells a missing pin from a folder that the caller may not enter.
    if (::unlink(QFile::encodeName(path()).constData()) == 0 || errno == ENOENT)
        return true;
    *error = QStringLiteral("cannot remove %1: %2").arg(path(), QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

} // namespace kestrava::agent
