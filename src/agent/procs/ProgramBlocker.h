#pragma once

#include "procs/ProcessMatcher.h"
#include "procs/ProcessTable.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <unistd.h>

namespace kestrava::agent {

class Effects;
class ExecWatcher;

// Ends the processes of a block list: SIGTERM at once, SIGKILL 2 s later if the same process (same
// pid and start time) is still there and still blocked. Looks at a process when it starts a program
// and at every process every 2 s, both only while the list is not empty.
class ProgramBlocker : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kScanInterval{2000};
    static constexpr std::chrono::milliseconds kKillDelay{2000};

    ProgramBlocker(Effects& effects, uid_t uidMin, ProcessTable table = ProcessTable(),
                   pid_t ownPid = ::getpid(), QObject* parent = nullptr);

    // Ends what the new list blocks at once.
    void setBlockList(const QStringList& programs);
    const QStringList& blockList() const { return m_blockList; }
    void setUidMin(uid_t uidMin);
    // Follows the watcher's events, and runs it only while the list is not empty.
    void setExecWatcher(ExecWatcher* watcher);
    void setKillDelay(std::chrono::milliseconds delay) { m_killDelay = delay; }

    void checkProcess(pid_t pid);
    void scan();
    // Processes sent SIGTERM whose SIGKILL is still to be decided.
    QList<pid_t> ending() const;

signals:
    // Once per process ended; program is the block list entry it matched.
    void programEnded(uid_t uid, const QString& program);

private:
    struct Ending {
        quint64 startTime = 0;
        bool killed = false;
    };

    void rebuild();
    void end(const ProcessInfo& process, const QString& program);
    void escalate(pid_t pid, quint64 startTime);

    Effects& m_effects;
    ProcessTable m_table;
    pid_t m_ownPid;
    uid_t m_uidMin;
    QStringList m_blockList;
    ProcessMatcher m_matcher;
    QTimer m_scanTimer;
    QPointer<ExecWatcher> m_watcher;
    std::chrono::milliseconds m_killDelay = kKillDelay;
    QHash<pid_t, Ending> m_ending;
};

} // namespace kestrava::agent
