#pragma once

#include "procs/ProcessInfo.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrava::agent {

// Decides which processes a block list ends: those of ordinary users (uid from uidMin up, never
// root) other than the agent itself, named like an entry by their executable, their kernel name
// or their argv[0], ignoring case.
class ProcessMatcher {
public:
    ProcessMatcher() = default;
    ProcessMatcher(const QStringList& entries, uid_t uidMin, pid_t ownPid);

    // The entry (trimmed, as given) that process is ended for; empty when it is left alone.
    QString match(const ProcessInfo& process) const;
    bool isEmpty() const { return m_entries.isEmpty(); }

private:
    struct Entry {
        QString name;     // as given, for the message
        QString folded;   // case-folded, to compare
        QString commForm; // folded, cut to what the kernel keeps of a name
    };
    QList<Entry> m_entries;
    uid_t m_uidMin = 0;
    pid_t m_ownPid = 0;
};

} // namespace kestrava::agent
