#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

namespace kestrava::agent {

// Locks every graphical session through logind and keeps them locked while asked to: a new session,
// an unlock request or a session that reports itself unlocked is locked again.
class SessionLocker : public QObject {
    Q_OBJECT

public:
    explicit SessionLocker(QObject* parent = nullptr);
    // For tests and tools: another bus than the system's.
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
    void logUnavailable();
    void subscribe();
    void lockAll();
    void unlockAll();
    // Locks the session at path when it is graphical.
    void lockIfGraphical(const QString& path);
    void callSession(const QString& path, const QString& method);
    void logCallError(const QString& what, const QDBusError& error);

    QDBusConnection m_bus;
    bool m_locked = false;
    bool m_subscribed = false;
    bool m_unavailableLogged = false;
};

} // namespace kestrava::agent
