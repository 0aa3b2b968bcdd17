#include "agent/procs/ProcessMatcher.h"

namespace kestrava::agent {

namespace {

// The console names programs as Windows does; "firefox.exe" also means "firefox" here.
const QString kWindowsSuffix = QStringLiteral(".exe");

} // namespace

ProcessMatcher::ProcessMatcher(const QStringList& entries, uid_t uidMin, pid_t ownPid)
    : m_uidMin(uidMin)
    , m_ownPid(ownPid) {
    for (const QString& entry : entries) {
        const QString program = programName(entry);
        if (!program.isEmpty())
            m_entries.append({entry.trimmed(), program, comparable(program)});
    }
}

QString ProcessMatcher::programName(const QString& entry) {
    const QString trimmed = entry.trimmed();
    // Windows paths too: the console's lists come from Windows computers.
    const qsizetype slash = qMax(trimmed.lastIndexOf(u'/'), trimmed.lastIndexOf(u'\\'));
    const QString name = trimmed.mid(slash + 1).trimmed();
    if (name == QLatin1String(".") || name == QLatin1String("..") || comparable(name).isEmpty())
        return {};
    return name;
}

QString ProcessMatcher::comparable(const QString& name) {
    const QString folded = name.toCaseFolded();
    return folded.endsWith(kWindowsSuffix) ? folded.chopped(kWindowsSuffix.size()) : folded;
}

bool ProcessMatcher::mayJudge(const ProcessInfo& process) const {
    // Zombies are already ended; only their parent can remove them.
    return process.uid != 0 && process.uid >= m_uidMin && process.pid != m_ownPid && process.state != 'Z' &&
           process.state != 'X';
}

QString ProcessMatcher::match(const ProcessInfo& process) const {
    if (!mayJudge(process))
        return {};
    const QString byExecutable = matchName(process.exeName);
    return byExecutable.isEmpty() ? matchName(process.argv0Name) : byExecutable;
}

QString ProcessMatcher::matchName(const QString& baseName) const {
    if (baseName.isEmpty())
        return {};
    const QString name = comparable(baseName);
    for (const Entry& entry : m_entries) {
        if (name == entry.folded)
            return entry.name;
    }
    return {};
}

QStringList ProcessMatcher::programNames() const {
    QStringList names;
    for (const Entry& entry : m_entries)
        names.append(entry.program);
    return names;
}

} // namespace kestrava::agent
