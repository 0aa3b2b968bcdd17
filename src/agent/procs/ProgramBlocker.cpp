#include "procs/ProgramBlocker.h"

#include "procs/ExecWatcher.h"
#include "procs/ProcsLog.h"
#include "system/Effects.h"

#include <QSet>
#include <csignal>
#include <utility>

namespace kestrava::agent {

ProgramBlocker::ProgramBlocker(Effects& effects, uid_t uidMin, ProcessTable table, pid_t ownPid,
                               QObject* parent)
    : QObject(parent)
    , m_effects(effects)
    , m_table(std::move(table))
    , m_ownPid(ownPid)
    , m_uidMin(uidMin) {
    m_scanTimer.setInterval(kScanInterval);
    connect(&m_scanTimer, &QTimer::timeout, this, &ProgramBlocker::scan);
}

void ProgramBlocker::setBlockList(const QStringList& programs) {
    m_blockList = programs;
    rebuild();
}

void ProgramBlocker::setUidMin(uid_t uidMin) {
    m_uidMin = uidMin;
    rebuild();
}

void ProgramBlocker::setExecWatcher(ExecWatcher* watcher) {
    m_watcher = watcher;
    connect(watcher, &ExecWatcher::execed, this, &ProgramBlocker::checkProcess);
    connect(watcher, &ExecWatcher::overrun, this, &ProgramBlocker::scan);
    rebuild();
}

void ProgramBlocker::rebuild() {
    m_matcher = ProcessMatcher(m_blockList, m_uidMin, m_ownPid);
    const bool active = !m_matcher.isEmpty();
    if (m_watcher && active)
        m_watcher->start();
    else if (m_watcher)
        m_watcher->stop();
    if (!active) {
        m_scanTimer.stop();
        m_ending.clear();
        return;
    }
    if (!m_scanTimer.isActive())
        m_scanTimer.start();
    scan();
}

void ProgramBlocker::checkProcess(pid_t pid) {
    if (m_matcher.isEmpty())
        return;
    if (const std::optional<ProcessInfo> process = m_table.read(pid)) {
        const QString program = m_matcher.match(*process);
        if (!program.isEmpty())
            end(*process, program);
    }
}

void ProgramBlocker::scan() {
    if (m_matcher.isEmpty())
        return;
    const QList<pid_t> pids = m_table.pids();
    const QSet<pid_t> running(pids.cbegin(), pids.cend());
    m_ending.removeIf([&running](const auto& entry) { return !running.contains(entry.key()); });
    for (const pid_t pid : pids)
        checkProcess(pid);
}

QList<pid_t> ProgramBlocker::ending() const {
    QList<pid_t> result;
    for (auto it = m_ending.cbegin(); it != m_ending.cend(); ++it) {
        if (!it->killed)
            result.append(it.key());
    }
    return result;
}

void ProgramBlocker::end(const ProcessInfo& process, const QString& program) {
    const auto known = m_ending.constFind(process.pid);
    if (known != m_ending.cend() && known->startTime == process.startTime)
        return;
    if (!m_effects.signalProcess(process.pid, SIGTERM))
        return;
    qCInfo(lcAgentProcs).noquote() << QStringLiteral("Ended blocked program %1 (process %2 \"%3\" of uid %4)")
                                          .arg(program)
                                          .arg(process.pid)
                                          .arg(process.exeName.isEmpty() ? process.comm : process.exeName)
                                          .arg(process.uid);
    m_ending.insert(process.pid, {process.startTime, false});
    QTimer::singleShot(m_killDelay, this, [this, pid = process.pid, startTime = process.startTime] {
        escalate(pid, startTime);
    });
    emit programEnded(process.uid, program);
}

void ProgramBlocker::escalate(pid_t pid, quint64 startTime) {
    const auto known = m_ending.find(pid);
    if (known == m_ending.end() || known->startTime != startTime || known->killed)
        return;
    const std::optional<ProcessInfo> process = m_table.read(pid);
    // Gone, replaced by another process under the same pid, or no longer blocked: left alone.
    if (!process || process->startTime != startTime || m_matcher.match(*process).isEmpty()) {
        m_ending.erase(known);
        return;
    }
    known->killed = true;
    if (m_effects.signalProcess(pid, SIGKILL))
        qCInfo(lcAgentProcs).noquote()
            << QStringLiteral("Killed process %1 of uid %2: still running after SIGTERM")
                   .arg(pid)
                   .arg(process->uid);
}

} // namespace kestrava::agent
