#pragma once

#include "agent/procs/ProcessInfo.h"

#include <QList>
#include <QString>
#include <optional>

namespace kestrava::agent {

// Reads processes from a /proc tree. Processes may end at any moment: a process that vanishes
// half-way is simply not there.
class ProcessTable {
public:
    explicit ProcessTable(QString procRoot = QStringLiteral("/proc"));

    QList<pid_t> pids() const;
    // Processes of uids below uidFrom are not read beyond their owner: none is returned for them.
    std::optional<ProcessInfo> read(pid_t pid, uid_t uidFrom = 0) const;
    // The processes pid has forked that still run (from every thread of it); empty where the kernel
    // does not list children.
    QList<pid_t> children(pid_t pid) const;
    // Only the start time: enough to tell whether pid is still the same process.
    std::optional<quint64> startTime(pid_t pid) const;

    const QString& procRoot() const { return m_procRoot; }

private:
    std::optional<ProcessInfo> readFrom(int dirFd, pid_t pid, uid_t uidFrom) const;

    QString m_procRoot;
};

} // namespace kestrava::agent
