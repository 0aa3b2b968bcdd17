#include "agent/procs/ProgramBlocker.h"

#include "agent/procs/ExecWatcher.h"
#include "agent/procs/InterpreterArguments.h"
#include "agent/procs/ProcsLog.h"

#include <QSet>
#include <algorithm>
#include <csignal>
#include <utility>

namespace kestrava::agent {

ProgramBlocker::ProgramBlocker(Signaller signaller, uid_t uidMin, ProcessTable table, pid_t ownPid,
                               QObject* parent)
    : QObject(parent)
    , m_signaller(std::move(signaller))
    , m_table(std::move(table))
    , m_ownPid(ownPid)
    , m_uidMin(uidMin)
    , m_matcher({}, uidMin, ownPid) {
    m_scanTimer.setInterval(kScanInterval);
    connect(&m_scanTimer, &QTimer::timeout, this, &ProgramBlocker::scan);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &ProgramBlocker::continueScan);
}

void ProgramBlocker::setBlockList(const QStringList& programs) {
    m_blockList = programs;
    rebuild(true);
}

void ProgramBlocker::setUidMin(uid_t uidMin) {
    m_uidMin = uidMin;
    rebuild(false);
}

void ProgramBlocker::setProgramFolders(const QStringList& folders) {
    m_identities = ProgramIdentities(folders);
    rebuild(true);
}

void ProgramBlocker::setExtraCheck(ExtraCheck check) {
    m_extraCheck = std::move(check);
    rebuild(false);
}

void ProgramBlocker::setExecWatcher(ExecWatcher* watcher) {
    m_watcher = watcher;
    connect(watcher, &ExecWatcher::execed, this, &ProgramBlocker::checkProcess);
    connect(watcher, &ExecWatcher::forked, this, &ProgramBlocker::checkFork);
    connect(watcher, &ExecWatcher::overrun, this, &ProgramBlocker::scan);
    rebuild(false);
}

void ProgramBlocker::rebuild(bool programsChanged) {
    m_matcher = ProcessMatcher(m_blockList, m_uidMin, m_ownPid);
    if (programsChanged)
        m_identities.setPrograms(m_matcher);
    const bool active = isActive();
    if (m_watcher && active)
        m_watcher->start();
    else if (m_watcher)
        m_watcher->stop();
    if (!active) {
        m_scanTimer.stop();
        m_sliceTimer.stop();
        m_pass.reset();
        m_scanDue = false;
        m_seenPids.clear();
        m_ended.clear();
        m_reported.clear();
        return;
    }
    if (!m_scanTimer.isActive())
        m_scanTimer.start();
    // What the list now blocks is looked for from the start.
    m_sliceTimer.stop();
    m_pass.reset();
    m_seenPids.clear();
    scan();
}

QString ProgramBlocker::verdict(const ProcessInfo& process) {
    if (!m_matcher.mayJudge(process))
        return {};
    QString reason = m_matcher.match(process);
    if (reason.isEmpty() && !process.exeName.isEmpty())
        reason = byContent(process, m_table.procRoot() + QLatin1Char('/') + QString::number(process.pid) +
                                        QLatin1String("/exe"));
    if (reason.isEmpty())
        reason = byProgramRun(process);
    if (reason.isEmpty() && m_extraCheck)
        reason = m_extraCheck(process);
    return reason;
}

QString ProgramBlocker::byContent(const ProcessInfo& process, const QString& path) {
    const ProgramIdentities::Result result = m_identities.match(path);
    if (result.outcome == ProgramIdentities::Outcome::Unreadable) {
        const auto reported = m_reported.constFind(process.pid);
        if (reported == m_reported.cend() || *reported != process.startTime) {
            m_reported.insert(process.pid, process.startTime);
            qCWarning(lcAgentProcs).noquote()
                << QStringLiteral("Cannot read %1 of process %2 of uid %3 (%4): judged by its names only")
                       .arg(path)
                       .arg(process.pid)
                       .arg(process.uid)
                       .arg(result.error);
        }
    }
    return result.entry;
}

QString ProgramBlocker::byProgramRun(const ProcessInfo& process) {
    QString interpreter = process.exeName;
    QStringList arguments = process.arguments;
    // The loader may load an interpreter in turn: "ld-linux… /usr/bin/python3 quiz".
    for (int depth = 0; depth < 2; ++depth) {
        const std::optional<qsizetype> index = InterpreterArguments::programIndex(interpreter, arguments);
        if (!index)
            return {};
        const QString& file = arguments.at(*index);
        const QString name = file.mid(file.lastIndexOf(u'/') + 1);
        QString reason = m_matcher.matchName(name);
        if (reason.isEmpty())
            reason = byContent(process, processPath(process.pid, file));
        if (!reason.isEmpty() || !InterpreterArguments::isLoader(interpreter))
            return reason;
        interpreter = name;
        arguments = arguments.mid(*index);
    }
    return {};
}

QString ProgramBlocker::processPath(pid_t pid, const QString& file) const {
    // Through the process's own root, working folder and descriptors, as it sees the file; its
    // "/proc/self" is not the agent's.
    const QString dir = m_table.procRoot() + QLatin1Char('/') + QString::number(pid);
    for (const auto& [prefix, replacement] :
         {std::pair{QLatin1String("/dev/fd/"), QLatin1String("/fd/")},
          std::pair{QLatin1String("/proc/self/"), QLatin1String("/")},
          std::pair{QLatin1String("/proc/thread-self/"), QLatin1String("/")}}) {
        if (file.startsWith(prefix))
            return dir + replacement + file.mid(prefix.size());
    }
    return file.startsWith(u'/') ? dir + QLatin1String("/root") + file : dir + QLatin1String("/cwd/") + file;
}

void ProgramBlocker::checkProcess(pid_t pid) {
    if (!isActive())
        return;
    if (const std::optional<ProcessInfo> process = m_table.read(pid, m_uidMin)) {
        const QString reason = verdict(*process);
        if (!reason.isEmpty())
            end(*process, reason);
    }
}

void ProgramBlocker::checkFork(pid_t parent, pid_t child) {
    // A fork runs what its parent runs, judged when the parent started it; only forks of ended
    // processes need a look, which keeps a fork storm cheap.
    const auto ended = m_ended.constFind(parent);
    if (ended == m_ended.cend() || !isActive())
        return;
    const std::optional<quint64> parentStart = m_table.startTime(parent);
    if (parentStart && *parentStart != ended->startTime)
        return;
    const std::optional<ProcessInfo> process = m_table.read(child, m_uidMin);
    if (process && m_matcher.mayJudge(*process))
        end(*process, ended->reason, parent);
}

void ProgramBlocker::scan() {
    // A pass under way is finished first: with thousands of processes it may outlast the interval.
    if (!isActive())
        return;
    if (m_pass) {
        m_scanDue = true;
        return;
    }
    m_scanDue = false;
    ScanPass pass;
    pass.pids = m_table.pids();
    QSet<pid_t> running(pass.pids.cbegin(), pass.pids.cend());
    // Processes started since the last pass first: among thousands, what a student has just started
    // is found within the interval however long the whole pass takes.
    std::stable_partition(pass.pids.begin(), pass.pids.end(),
                          [this](pid_t pid) { return !m_seenPids.contains(pid); });
    // An ended process is remembered one scan after it is gone, for fork events still queued.
    for (auto it = m_ended.begin(); it != m_ended.end();) {
        if (running.contains(it.key()))
            ++it;
        else if (it->gone)
            it = m_ended.erase(it);
        else
            (it++)->gone = true;
    }
    m_reported.removeIf([&running](const auto& entry) { return !running.contains(entry.key()); });
    m_seenPids = std::move(running);
    m_pass = std::move(pass);
    continueScan();
}

void ProgramBlocker::continueScan() {
    if (!m_pass)
        return;
    ScanPass& pass = *m_pass;
    const qsizetype sliceEnd = qMin(pass.next + kScanSlice, pass.pids.size());
    for (; pass.next < sliceEnd; ++pass.next) {
        const pid_t pid = pass.pids.at(pass.next);
        const std::optional<ProcessInfo> process = m_table.read(pid, m_uidMin);
        if (!process)
            continue;
        pass.children.insert(process->parentPid, {pid, process->startTime});
        const auto ended = m_ended.find(pid);
        if (ended != m_ended.end() && ended->startTime == process->startTime)
            continue;
        // The pid of an ended process now names another one, whose forks are its own.
        if (ended != m_ended.end())
            m_ended.erase(ended);
        if (const QString reason = verdict(*process); !reason.isEmpty())
            end(*process, reason);
    }
    // Thousands of processes take a while to read: other events are served between slices.
    if (pass.next < pass.pids.size()) {
        m_sliceTimer.start();
        return;
    }
    endForksOfEnded();
    m_pass.reset();
    if (m_scanDue)
        scan();
}

void ProgramBlocker::endForksOfEnded() {
    // Where the kernel lists no children, and without fork events, forks of an ended process that run
    // something else are found by their parent.
    QList<pid_t> parents = m_ended.keys();
    for (qsizetype next = 0; next < parents.size(); ++next) {
        const pid_t parent = parents.at(next);
        const QString reason = m_ended.value(parent).reason;
        const auto& children = m_pass->children;
        for (auto child = children.constFind(parent); child != children.cend() && child.key() == parent;
             ++child) {
            // Read again: the process may have ended since its slice, and was reparented when its
            // parent was killed.
            const std::optional<ProcessInfo> process = m_table.read(child->first, m_uidMin);
            if (!process || process->startTime != child->second || !m_matcher.mayJudge(*process))
                continue;
            const auto ended = m_ended.constFind(process->pid);
            if (ended != m_ended.cend() && ended->startTime == process->startTime)
                continue;
            end(*process, reason, parent);
            if (m_ended.contains(process->pid))
                parents.append(process->pid);
        }
    }
}

void ProgramBlocker::end(const ProcessInfo& process, const QString& reason, pid_t forkOf) {
    // A queue, not recursion: a chain of forks may be long.
    QList<std::pair<ProcessInfo, pid_t>> queue{{process, forkOf}};
    for (qsizetype next = 0; next < queue.size(); ++next) {
        const auto [victim, parent] = queue.at(next);
        const auto known = m_ended.constFind(victim.pid);
        if (known != m_ended.cend() && known->startTime == victim.startTime)
            continue;
        // Listed before the kill: the kernel hands them to another parent at once.
        const QList<pid_t> children = m_table.children(victim.pid);
        // No grace: a blocked program could use it to fork or hop to a new process.
        if (!m_signaller(victim.pid, SIGKILL))
            continue;
        const QString what = victim.exeName.isEmpty() ? victim.comm : victim.exeName;
        qCInfo(lcAgentProcs).noquote()
            << (parent == 0
                    ? QStringLiteral("Killed process %1 \"%2\" of uid %3: %4")
                          .arg(victim.pid)
                          .arg(what)
                          .arg(victim.uid)
                          .arg(reason)
                    : QStringLiteral("Killed process %1 \"%2\" of uid %3, forked by ended process %4: %5")
                          .arg(victim.pid)
                          .arg(what)
                          .arg(victim.uid)
                          .arg(parent)
                          .arg(reason));
        m_ended.insert(victim.pid, {victim.startTime, reason});
        emit programEnded(victim.uid, reason);
        for (const pid_t child : children) {
            const std::optional<ProcessInfo> fork = m_table.read(child, m_uidMin);
            if (fork && m_matcher.mayJudge(*fork))
                queue.append({*fork, victim.pid});
        }
    }
}

} // namespace kestrava::agent
