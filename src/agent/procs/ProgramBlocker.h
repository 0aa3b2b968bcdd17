#pragma once

#include "agent/procs/ProcessMatcher.h"
#include "agent/procs/ProcessTable.h"
#include "agent/procs/ProgramIdentities.h"

#include <QHash>
#include <QMultiHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <unistd.h>

namespace kestrava::agent {

class ExecWatcher;

// Ends with SIGKILL, at once, the user processes that run a blocked program (by name, by content, or
// as the file an interpreter runs) and the processes they fork. Looks at a process when it starts a
// program, at a new process when its parent was ended, and at every process every 2 s; all only while
// there is something to block.
class ProgramBlocker : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kScanInterval{2000};
    // Processes read per turn of the event loop in a scan.
    static constexpr qsizetype kScanSlice = 256;

    // The reason to end a process (the text of its notification); empty to leave it.
    using ExtraCheck = std::function<QString(const ProcessInfo&)>;

    // Sends a signal to a process; false when it could not.
    using Signaller = std::function<bool(pid_t pid, int signal)>;

    ProgramBlocker(Signaller signaller, uid_t uidMin, ProcessTable table = ProcessTable(),
                   pid_t ownPid = ::getpid(), QObject* parent = nullptr);

    // Ends what the new list blocks at once.
    void setBlockList(const QStringList& programs);
    const QStringList& blockList() const { return m_blockList; }
    void setUidMin(uid_t uidMin);
    // Where entries are looked up as installed files; the system's folders unless a test says.
    void setProgramFolders(const QStringList& folders);
    // A further test of every process the block list may judge, asked after the list's own and ended
    // the same way; an empty function for none.
    void setExtraCheck(ExtraCheck check);
    // Follows the watcher's events, and runs it only while something is blocked.
    void setExecWatcher(ExecWatcher* watcher);

    void checkProcess(pid_t pid);
    void checkFork(pid_t parent, pid_t child);
    // Looks at every process, a slice at a time, unless a scan is already under way.
    void scan();

signals:
    // Once per process ended; program is the block list entry it matched, or the extra check's reason.
    void programEnded(uid_t uid, const QString& program);

private:
    struct Ended {
        quint64 startTime = 0;
        QString reason;
        bool gone = false;
    };

    struct ScanPass {
        QList<pid_t> pids;
        qsizetype next = 0;
        QMultiHash<pid_t, QPair<pid_t, quint64>> children; // pid and start time, by parent
    };

    bool isActive() const { return !m_matcher.isEmpty() || m_extraCheck; }
    void rebuild(bool programsChanged);
    QString verdict(const ProcessInfo& process);
    QString byContent(const ProcessInfo& process, const QString& path);
    QString byProgramRun(const ProcessInfo& process);
    QString processPath(pid_t pid, const QString& file) const;
    void continueScan();
    void endForksOfEnded();
    void end(const ProcessInfo& process, const QString& reason, pid_t forkOf = 0);

    Signaller m_signaller;
    ProcessTable m_table;
    pid_t m_ownPid;
    uid_t m_uidMin;
    QStringList m_blockList;
    ProcessMatcher m_matcher;
    ProgramIdentities m_identities;
    ExtraCheck m_extraCheck;
    QTimer m_scanTimer;
    QTimer m_sliceTimer;
    std::optional<ScanPass> m_pass;
    bool m_scanDue = false; // the interval passed during a pass: the next one starts right after it
    QSet<pid_t> m_seenPids; // the pids of the last pass, whose newcomers the next pass reads first
    QPointer<ExecWatcher> m_watcher;
    QHash<pid_t, Ended> m_ended;
    // Processes whose executable could not be read, reported once each (by start time).
    QHash<pid_t, quint64> m_reported;
};

} // namespace kestrava::agent
