#include "desktop/DesktopNotifier.h"

#include "desktop/DesktopLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kestrava::agent {

namespace {

std::optional<gid_t> primaryGroup(uid_t uid) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return found->pw_gid;
}

// Connects to address with the effective uid and gid of the user, then takes root's back. The real
// uid stays root's so that the user cannot signal the agent meanwhile.
QDBusConnection connectAsUser(uid_t uid, const QString& address, const QString& name, QString& error) {
    if (::geteuid() == uid)
        return QDBusConnection::connectToBus(address, name);
    if (::geteuid() != 0) {
        error = QStringLiteral("only root can reach another user's session");
        return QDBusConnection(name);
    }
    const std::optional<gid_t> gid = primaryGroup(uid);
    if (!gid) {
        error = QStringLiteral("the user has no account entry");
        return QDBusConnection(name);
    }
    const gid_t rootGid = ::getegid();
    if (::setresgid(gid_t(-1), *gid, gid_t(-1)) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return QDBusConnection(name);
    }
    if (::setresuid(uid_t(-1), uid, uid_t(-1)) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        if (::setresgid(gid_t(-1), rootGid, gid_t(-1)) != 0)
            qFatal("kestrava-agent could not take back its group: %s", std::strerror(errno));
        return QDBusConnection(name);
    }
    QDBusConnection connection = QDBusConnection::connectToBus(address, name);
    // Going on with a user's identity would leave the agent powerless; better to stop and be restarted.
    if (::setresuid(uid_t(-1), 0, uid_t(-1)) != 0 || ::setresgid(gid_t(-1), rootGid, gid_t(-1)) != 0)
        qFatal("kestrava-agent could not take back root's identity: %s", std::strerror(errno));
    if (!connection.isConnected())
        error = connection.lastError().message();
    return connection;
}

} // namespace

DesktopNotifier::DesktopNotifier(QString runtimeRoot, QObject* parent)
    : QObject(parent)
    , m_runtimeRoot(std::move(runtimeRoot)) {}

void DesktopNotifier::notify(uid_t uid, const QString& summary, const QString& body, int timeoutMs) {
    const QString busPath = m_runtimeRoot + QLatin1Char('/') + QString::number(uid) + QStringLiteral("/bus");
    struct stat busStat {};
    if (::stat(QFile::encodeName(busPath).constData(), &busStat) != 0 || !S_ISSOCK(busStat.st_mode)) {
        if (!m_reportedWithoutBus.contains(uid)) {
            m_reportedWithoutBus.insert(uid);
            qCInfo(lcAgentDesktop).noquote()
                << QStringLiteral("No desktop session bus for uid %1 (%2): its notifications are skipped")
                       .arg(uid)
                       .arg(busPath);
        }
        return;
    }
    m_reportedWithoutBus.remove(uid);
    const auto pause = m_pausedUntil.constFind(uid);
    if (pause != m_pausedUntil.cend() && !pause->hasExpired())
        return;

    const QString name = QStringLiteral("kestrava-notify-%1-%2").arg(uid).arg(++m_connections);
    QString error;
    QDBusConnection connection = connectAsUser(uid, QStringLiteral("unix:path=") + busPath, name, error);
    if (!connection.isConnected()) {
        qCWarning(lcAgentDesktop).noquote()
            << QStringLiteral("Cannot reach the session bus of uid %1: %2; trying again in 5 minutes")
                   .arg(uid)
                   .arg(error);
        QDBusConnection::disconnectFromBus(name);
        // Connecting waits for the bus; a bus that does not answer must not hold up the agent each time.
        m_pausedUntil.insert(uid, QDeadlineTimer(kPauseAfterFailure));
        return;
    }
    m_pausedUntil.remove(uid);

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Kestrava") << uint(0) << QString() << summary << body << QStringList()
         << QVariantMap() << qint32(timeoutMs);
    // The connection stays until the desktop has answered, so the call is surely sent.
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(call), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [uid, name](QDBusPendingCallWatcher* finished) {
            if (finished->isError())
                qCWarning(lcAgentDesktop).noquote() << QStringLiteral("Notification for uid %1 not shown: %2")
                                                           .arg(uid)
                                                           .arg(finished->error().message());
            finished->deleteLater();
            QDBusConnection::disconnectFromBus(name);
        });
}

} // namespace kestrava::agent
