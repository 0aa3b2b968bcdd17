#include "ComputerEnter.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace ComputerEnter {

namespace {

constexpr int kCannotRun = 127;
volatile sig_atomic_t g_child = 0;

int fail(const std::string& what) {
    std::fprintf(stderr, "kestrava-lab: lab computer: %s: %s\n", what.c_str(), std::strerror(errno));
    return kCannotRun;
}

void forward(int signal) {
    if (g_child > 0)
        ::kill(g_child, signal);
}

// Ends the way the child ended: its exit code, or its signal (without a core file of its own).
int mirror(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::signal(WTERMSIG(status), SIG_DFL);
    sigset_t all;
    sigfillset(&all);
    ::sigprocmask(SIG_UNBLOCK, &all, nullptr);
    ::raise(WTERMSIG(status));
    return 128 + WTERMSIG(status);
}

void cleanEnvironment(uid_t user) {
    ::clearenv();
    ::setenv("PATH",
             "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin:/usr/local/games:/usr/games", 1);
    ::setenv("LANG", "C.UTF-8", 1);
    if (user == 0)
        return;
    const std::string runtime = "/run/user/" + std::to_string(user);
    ::setenv("HOME", "/tmp", 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/bus").c_str(), 1);
}

void becomeUser(uid_t user, long processes) {
    const rlimit limit{rlim_t(processes), rlim_t(processes)};
    if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 ||
        (processes > 0 && ::setrlimit(RLIMIT_NPROC, &limit) != 0) || ::setuid(user) != 0)
        ::_exit(fail("cannot become uid " + std::to_string(user)));
}

} // namespace

int run(pid_t firstProcess, uid_t user, long processes, char** command) {
    const std::string base = "/proc/" + std::to_string(firstProcess) + "/ns/";
    // The mount namespace last: it changes what the paths of the others mean.
    const std::pair<const char*, int> namespaces[] = {
        {"net", CLONE_NEWNET}, {"pid", CLONE_NEWPID}, {"mnt", CLONE_NEWNS}};
    for (const auto& [name, type] : namespaces) {
        const int fd = ::open((base + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::setns(fd, type) != 0)
            return fail("cannot join " + base + name);
        ::close(fd);
    }
    if (::chdir("/") != 0)
        return fail("cannot change to /");
    sigset_t forwarded;
    sigemptyset(&forwarded);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&forwarded, signal);
    ::sigprocmask(SIG_BLOCK, &forwarded, nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return fail("cannot fork");
    if (child == 0) {
        cleanEnvironment(user);
        if (user != 0)
            becomeUser(user, processes);
        // After the change of user, which clears it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::sigprocmask(SIG_UNBLOCK, &forwarded, nullptr);
        ::execvp(command[0], command);
        ::_exit(fail(std::string("cannot run ") + command[0]));
    }
    g_child = child;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::signal(signal, forward);
    ::sigprocmask(SIG_UNBLOCK, &forwarded, nullptr);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return mirror(status);
}

} // namespace ComputerEnter
