#include "procs/ProcessMatcher.h"

namespace kestrava::agent {

namespace {

// The kernel keeps 15 bytes of a process name.
constexpr qsizetype kCommBytes = 15;

QString commForm(const QString& name) {
    return QString::fromUtf8(name.toUtf8().left(kCommBytes));
}

} // namespace

ProcessMatcher::ProcessMatcher(const QStringList& entries, uid_t uidMin, pid_t ownPid)
    : m_uidMin(uidMin)
    , m_ownPid(ownPid) {
    for (const QString& entry : entries) {
        const QString name = entry.trimmed();
        if (name.isEmpty())
            continue;
        const QString folded = name.toCaseFolded();
        m_entries.append({name, folded, commForm(name).toCaseFolded()});
        // The console names programs as Windows does; "firefox.exe" also means "firefox" here.
        const QString windowsSuffix = QStringLiteral(".exe");
        if (folded.endsWith(windowsSuffix) && folded.size() > windowsSuffix.size()) {
            const QString bare = name.left(name.size() - windowsSuffix.size());
            m_entries.append({name, bare.toCaseFolded(), commForm(bare).toCaseFolded()});
        }
    }
}

QString ProcessMatcher::match(const ProcessInfo& process) const {
    // Zombies are already ended; only their parent can remove them.
    if (process.uid == 0 || process.uid < m_uidMin || process.pid == m_ownPid || process.state == 'Z' ||
        process.state == 'X')
        return {};
    const QString exe = process.exeName.toCaseFolded();
    const QString comm = process.comm.toCaseFolded();
    const QString argv0 = process.argv0Name.toCaseFolded();
    for (const Entry& entry : m_entries) {
        if (exe == entry.folded || argv0 == entry.folded || comm == entry.commForm)
            return entry.name;
    }
    return {};
}

} // namespace kestrava::agent
