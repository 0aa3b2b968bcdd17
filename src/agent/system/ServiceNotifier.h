#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace kestrava::agent {

// Tells systemd (Type=notify) that the agent is ready and, from a timer on the event loop, that the
// loop still runs (WatchdogSec=), so that a stalled agent is restarted. Datagrams to $NOTIFY_SOCKET,
// as sd_notify sends them; without that variable it does nothing.
class ServiceNotifier : public QObject {
    Q_OBJECT

public:
    // Reads and then clears NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID, so that no child inherits them.
    explicit ServiceNotifier(QObject* parent = nullptr);

    bool isActive() const { return !m_socketPath.isEmpty(); }

    // READY=1, then WATCHDOG=1 at half the interval systemd asked for.
    void ready();

private:
    bool send(const QByteArray& state);

    QByteArray m_socketPath;
    QTimer m_watchdog;
    bool m_failureLogged = false;
};

} // namespace kestrava::agent
