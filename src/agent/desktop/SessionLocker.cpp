#include "agent/desktop/SessionLocker.h"

#include "agent/desktop/DesktopLog.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace kestrava::agent {

namespace {

// A connection of its own: Qt keeps a failed default system bus connection for good.
const QString kBusName = QStringLiteral("kestrava-logind");
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

bool isGraphical(const QString& type) {
    return type == QLatin1String("x11") || type == QLatin1String("wayland") || type == QLatin1String("mir");
}

// ListSessions answers a(susso): id, uid, user name, seat, object path.
QStringList sessionPaths(const QDBusMessage& reply) {
    QStringList paths;
    if (reply.arguments().isEmpty())
        return paths;
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    if (list.currentSignature() != QLatin1String("a(susso)"))
        return paths;
    list.beginArray();
    while (!list.atEnd()) {
        QString id;
        uint uid = 0;
        QString user;
        QString seat;
        QDBusObjectPath path;
        list.beginStructure();
        list >> id >> uid >> user >> seat >> path;
        list.endStructure();
        paths.append(path.path());
    }
    list.endArray();
    return paths;
}

} // namespace

SessionLocker::SessionLocker(QObject* parent)
    : SessionLocker(QDBusConnection(kBusName), parent) {
    m_ownsBus = true;
}

SessionLocker::SessionLocker(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus) {
    m_busRetry.setInterval(kBusRetryMs);
    connect(&m_busRetry, &QTimer::timeout, this, [this] {
        if (m_locked)
            setLocked(true);
        else
            m_busRetry.stop();
    });
}

void SessionLocker::setLocked(bool locked) {
    const bool wasLocked = m_locked;
    m_locked = locked;
    if (!available())
        return;
    if (locked) {
        subscribe();
        lockAll();
    } else if (wasLocked) {
        unlockAll();
    }
}

bool SessionLocker::available() {
    if (m_bus.isConnected() || reconnect()) {
        m_busRetry.stop();
        return true;
    }
    logUnavailable();
    if (m_ownsBus && m_locked)
        m_busRetry.start();
    return false;
}

bool SessionLocker::reconnect() {
    if (!m_ownsBus)
        return false;
    // Without the bus's socket there is nothing to wait for; the daemon itself is root's.
    QDBusConnection::disconnectFromBus(kBusName);
    m_bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, kBusName);
    if (!m_bus.isConnected())
        return false;
    // Matches do not survive the old connection.
    m_subscribed = false;
    if (m_unavailableLogged) {
        m_unavailableLogged = false;
        qCInfo(lcAgentDesktop) << "Reached the system bus: sessions are locked when asked";
    }
    return true;
}

void SessionLocker::logUnavailable() {
    if (m_unavailableLogged)
        return;
    m_unavailableLogged = true;
    qCInfo(lcAgentDesktop) << "No system bus or no logind: sessions are not locked";
}

void SessionLocker::subscribe() {
    if (m_subscribed)
        return;
    m_subscribed = true;
    m_bus.connect(kService, kManagerPath, kManager, QStringLiteral("SessionNew"), this,
                  SLOT(onSessionNew(QString, QDBusObjectPath)));
    // An empty path: every session.
    m_bus.connect(kService, QString(), kSession, QStringLiteral("Unlock"), this,
                  SLOT(onSessionUnlock(QDBusMessage)));
    m_bus.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), {kSession},
                  QString(), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
}

void SessionLocker::lockAll() {
    const QDBusMessage list =
        QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("ListSessions"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(list, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (finished->isError()) {
            logCallError(QStringLiteral("Listing the sessions"), finished->error());
            return;
        }
        if (!m_locked)
            return;
        for (const QString& path : sessionPaths(finished->reply()))
            lockIfGraphical(path);
    });
}

void SessionLocker::unlockAll() {
    const QDBusMessage unlock =
        QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("UnlockSessions"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(unlock, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (finished->isError())
            logCallError(QStringLiteral("Unlocking the sessions"), finished->error());
        else
            qCInfo(lcAgentDesktop) << "Sessions unlocked";
    });
}

void SessionLocker::lockIfGraphical(const QString& path) {
    QDBusMessage get = QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("Get"));
    get << kSession << QStringLiteral("Type");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusVariant> type = *finished;
                // A session that ended meanwhile has nothing to lock.
                if (type.isError() || !m_locked || !isGraphical(type.value().variant().toString()))
                    return;
                callSession(path, QStringLiteral("Lock"));
            });
}

void SessionLocker::callSession(const QString& path, const QString& method) {
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, path, kSession, method);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path, method](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (finished->isError())
                    logCallError(method + QLatin1Char(' ') + path, finished->error());
                else
                    qCInfo(lcAgentDesktop).noquote() << method + QStringLiteral("ed session ") + path;
            });
}

void SessionLocker::onSessionNew(const QString&, const QDBusObjectPath& path) {
    if (m_locked)
        lockIfGraphical(path.path());
}

void SessionLocker::onSessionUnlock(const QDBusMessage& message) {
    if (m_locked)
        lockIfGraphical(message.path());
}

void SessionLocker::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                        const QStringList&, const QDBusMessage& message) {
    const auto hint = changed.constFind(QStringLiteral("LockedHint"));
    if (m_locked && interface == kSession && hint != changed.cend() && !hint->toBool())
        lockIfGraphical(message.path());
}

void SessionLocker::logCallError(const QString& what, const QDBusError& error) {
    if (error.type() == QDBusError::ServiceUnknown) {
        logUnavailable();
        return;
    }
    qCWarning(lcAgentDesktop).noquote() << what + QStringLiteral(" failed: ") + error.message();
}

} // namespace kestrava::agent
