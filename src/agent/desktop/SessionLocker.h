#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kestrava::agent {

// Locks every graphical session through logind and keeps them locked while asked to: a new session,
// an unlock request or a session that reports itself unlocked is locked again. Every call to logind is
// asynchronous with a short time-out. The agent may start before the system bus: while locking is
// asked for and the bus is missing, it tries again every few seconds.
class SessionLocker : public QObject {
    Q_OBJECT

public:
    static constexpr int kCallTimeoutMs = 5000;
    static constexpr int kBusRetryMs = 10000;

    explicit SessionLocker(QObject* parent = nullptr);
    // For tests and tools: another bus than the system's, never reconnected.
    SessionLocker(const QDBusConnection& bus, QObject* parent);

    void setLocked(bool locked);
    bool isLocked() const { return m_locked; }

private slots:
    // Slots by name: QDBusConnection subscribes to signals only that way.
    void onSessionNew(const QString& id, const QDBusObjectPath& path);
    void onSessionUnlock(const QDBusMessage& message);
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated, const QDBusMessage& message);

private:
    bool available();
    bool reconnect();
    void logUnavailable();
    void subscribe();
    void lockAll();
    void unlockAll();
    // Locks the session at path when it is graphical.
    void lockIfGraphical(const QString& path);
    void callSession(const QString& path, const QString& method);
    void logCallError(const QString& what, const QDBusError& error);

    QDBusConnection m_bus;
    QTimer m_busRetry;
    bool m_ownsBus = false;
    bool m_locked = false;
    bool m_subscribed = false;
    bool m_unavailableLogged = false;
};

} // namespace kestrava::agent
