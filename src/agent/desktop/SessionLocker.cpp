#include "desktop/SessionLocker.h"

#include "desktop/DesktopLog.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace kestrava::agent {

namespace {

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
    : SessionLocker(QDBusConnection::systemBus(), parent) {}

SessionLocker::SessionLocker(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus) {}

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
    if (m_bus.isConnected())
        return true;
    logUnavailable();
    return false;
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
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(list), this);
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
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(unlock), this);
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
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
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
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
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
