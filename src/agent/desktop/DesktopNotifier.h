#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <chrono>
#include <sys/types.h>

namespace kestrava::agent {

// Shows desktop notifications to a user through the notification service of their session bus.
// The session bus takes only its owner, so the agent (root) takes the user's identity while it
// connects.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    // -1: the desktop's own time-out.
    static constexpr int kDesktopTimeout = -1;
    static constexpr std::chrono::minutes kPauseAfterFailure{5};

    explicit DesktopNotifier(QString runtimeRoot = QStringLiteral("/run/user"), QObject* parent = nullptr);

    // Does not wait for the notification service. A user without a session bus is skipped (logged
    // once); a bus that could not be reached is left alone for a while.
    void notify(uid_t uid, const QString& summary, const QString& body, int timeoutMs = kDesktopTimeout);

private:
    QString m_runtimeRoot;
    QSet<uid_t> m_reportedWithoutBus;
    QHash<uid_t, QDeadlineTimer> m_pausedUntil;
    quint64 m_connections = 0;
};

} // namespace kestrava::agent
