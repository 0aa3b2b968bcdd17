#pragma once

#include "agent/procs/ProcessInfo.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrava::agent {

// Decides by name which processes a block list ends, among those it may judge: processes of ordinary
// users (uid from uidMin up, never root) other than the agent itself. A process is named by the full
// basename of its executable and of its argv[0], ignoring case and a ".exe" on either side; its kernel
// name (comm) is cut to 15 bytes and never compared.
class ProcessMatcher {
public:
    ProcessMatcher() = default;
    ProcessMatcher(const QStringList& entries, uid_t uidMin, pid_t ownPid);

    // The program an entry names: the last part of a path, trimmed; empty for no program.
    static QString programName(const QString& entry);
    // The form names are compared in: case-folded, without ".exe".
    static QString comparable(const QString& name);

    bool mayJudge(const ProcessInfo& process) const;
    // The entry (trimmed, as given) that process is ended for; empty when its names match none.
    QString match(const ProcessInfo& process) const;
    // The entry naming a file of that basename; empty when none does.
    QString matchName(const QString& baseName) const;
    bool isEmpty() const { return m_entries.isEmpty(); }
    // The names of the programs, as files are called.
    QStringList programNames() const;

private:
    struct Entry {
        QString name;    // as given, for the message
        QString program; // the program's file name
        QString folded;  // to compare
    };
    QList<Entry> m_entries;
    uid_t m_uidMin = 0;
    pid_t m_ownPid = 0;
};

} // namespace kestrava::agent
