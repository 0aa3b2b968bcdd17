#pragma once

#include "agent/desktop/UserHelper.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <chrono>
#include <sys/types.h>

namespace kestrava::agent {

// Shows desktop notifications to a user through kestrava-agent-notify, started as that user for each
// notification, so that a bus that stalls or misbehaves holds up only that helper. At most one helper
// runs per user, one starts per user and second, and a few run in all; what comes meanwhile is dropped.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxHelpers = 4;
    static constexpr std::chrono::seconds kSpacing{1};

    explicit DesktopNotifier(QString runtimeRoot = QStringLiteral("/run/user"), QObject* parent = nullptr);
    ~DesktopNotifier() override;

    // Returns at once. A user without a session bus is skipped (logged once).
    void notify(uid_t uid, const QString& summary, const QString& body);

    // Beside the agent's own program first (the build), else where the package installs it.
    static QString helperProgram();

private:
    bool hasBus(uid_t uid, const QString& runtimeDir);
    void logDropped(uid_t uid, const QString& why);
    void onEnded(uid_t uid, UserHelper::End end, int exitCode);

    QString m_runtimeRoot;
    QString m_program;
    QHash<uid_t, UserHelper*> m_running;
    QHash<uid_t, QDeadlineTimer> m_nextStart;
    QSet<uid_t> m_reportedWithoutBus;
    QSet<uid_t> m_reportedDropped;
};

} // namespace kestrava::agent
