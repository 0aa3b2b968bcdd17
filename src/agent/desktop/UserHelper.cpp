#include "agent/desktop/UserHelper.h"

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace kestrava::agent {

namespace {

// In the child between fork and exec: system calls only. Every descriptor from 3 up is closed at
// exec, so QProcess's own start pipe still reports a failed exec.
void closeAtExecFromThree() {
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    rlimit files{};
    const rlim_t end = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
    for (rlim_t fd = 3; fd < end; ++fd)
        ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);
}

} // namespace

UserHelper::UserHelper(QString program, QStringList arguments, UserAccount account, QString runtimeDir,
                       QObject* parent)
    : QObject(parent)
    , m_program(std::move(program))
    , m_arguments(std::move(arguments))
    , m_account(std::move(account))
    , m_runtimeDir(std::move(runtimeDir)) {
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, &UserHelper::onTimeLimit);
    connect(&m_process, &QProcess::finished, this, &UserHelper::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &UserHelper::onErrorOccurred);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // What the user's own process writes must not reach the agent's journal stream or memory.
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

UserHelper::~UserHelper() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(-pid_t(m_process.processId()), SIGKILL);
    m_process.kill();
    m_process.waitForFinished(1000);
}

void UserHelper::setOutputFile(const QString& path) {
    m_process.setStandardOutputFile(path);
}

QProcessEnvironment UserHelper::environment(const UserAccount& account, const QString& runtimeDir) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), account.home);
    environment.insert(QStringLiteral("USER"), account.name);
    environment.insert(QStringLiteral("LOGNAME"), account.name);
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + runtimeDir + QStringLiteral("/bus"));
    return environment;
}

void UserHelper::start() {
    m_process.setProgram(m_program);
    m_process.setArguments(m_arguments);
    m_process.setProcessEnvironment(environment(m_account, m_runtimeDir));
    m_process.setWorkingDirectory(QStringLiteral("/"));
    // Everything the child needs is computed here: after the fork only system calls may run.
    const bool switchIdentity = ::geteuid() != m_account.uid || ::getegid() != m_account.gid;
    const uid_t uid = m_account.uid;
    const gid_t gid = m_account.gid;
    const std::vector<gid_t> groups = m_account.groups;
    m_process.setChildProcessModifier([switchIdentity, uid, gid, groups] {
        if (::setsid() < 0)
            ::_exit(kIdentityFailed);
        if (switchIdentity) {
            if (::setgroups(groups.size(), groups.data()) != 0)
                ::_exit(kIdentityFailed);
            if (::setresgid(gid, gid, gid) != 0)
                ::_exit(kIdentityFailed);
            if (::setresuid(uid, uid, uid) != 0)
                ::_exit(kIdentityFailed);
        }
        closeAtExecFromThree();
    });
    m_limit.start(kTimeLimit);
    m_process.start();
}

void UserHelper::onTimeLimit() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_timedOut = true;
    // The child leads its own session and group, and is not reaped yet, so the group id is still its.
    ::kill(-pid_t(m_process.processId()), SIGKILL);
    m_process.kill();
}

void UserHelper::onFinished(int exitCode, QProcess::ExitStatus status) {
    m_limit.stop();
    if (m_timedOut)
        finish(End::TimedOut, -1);
    else
        finish(End::Exited, status == QProcess::NormalExit ? exitCode : -1);
}

void UserHelper::onErrorOccurred(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart)
        return;
    m_limit.stop();
    finish(End::FailedToStart, -1);
}

void UserHelper::finish(End end, int exitCode) {
    if (m_ended)
        return;
    m_ended = true;
    emit ended(end, exitCode);
}

} // namespace kestrava::agent
