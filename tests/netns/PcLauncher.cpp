// kestrava-netlab-pc: the controlled computer of the network lab, as namespaces of its own.
//
//   kestrava-netlab-pc hold NETNS_FILE ETC_DIR UID
//     Joins the network namespace NETNS_FILE and makes a mount and a PID namespace whose PID 1 it forks:
//     its own /proc, /sys, /run (with /run/user/UID owned by UID) and /tmp, and ETC_DIR's files bound
//     over those of /etc. Prints "ready <pid of that PID 1>" once done. Everything inside ends when its
//     standard input closes (the lab, or the process that made it, is gone) or on SIGTERM.
//   kestrava-netlab-pc enter HOLDER_PID UID NPROC PROGRAM [ARGUMENT...]
//     Runs PROGRAM inside the namespaces of HOLDER_PID. With a UID other than 0: as that user and group
//     without supplementary groups, limited to NPROC processes, with a clean environment. Passes
//     SIGTERM, SIGINT and SIGHUP on and ends as PROGRAM ends.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

volatile sig_atomic_t g_child = 0;
volatile sig_atomic_t g_stop = 0;

int failed(const std::string& what) {
    std::fprintf(stderr, "kestrava-netlab-pc: %s: %s\n", what.c_str(), std::strerror(errno));
    return 125;
}

void forward(int signal) {
    if (g_child > 0)
        ::kill(g_child, signal);
}

void onStop(int) {
    g_stop = 1;
}

void onChild(int) {}

// Ends the way the child ended: its exit code, or its signal (without a core file of our own).
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

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return mirror(status);
}

// /etc/NAME may be a symbolic link into /run, which is empty by now: the file it names is made first.
bool bindOverEtc(const std::string& source, const std::string& name) {
    std::string target = "/etc/" + name;
    char link[4096];
    const ssize_t length = ::readlink(target.c_str(), link, sizeof link - 1);
    if (length > 0) {
        link[length] = '\0';
        target = link[0] == '/' ? std::string(link) : "/etc/" + std::string(link);
        for (size_t slash = target.find('/', 1); slash != std::string::npos;
             slash = target.find('/', slash + 1))
            ::mkdir(target.substr(0, slash).c_str(), 0755);
        const int made = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (made >= 0)
            ::close(made);
    }
    return ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

int setUpInside(const char* etcDir, uid_t user) {
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed("cannot make the mounts private");
    if (::mount("kvl-run", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0)
        return failed("cannot mount /run");
    const std::string userRuntime = "/run/user/" + std::to_string(user);
    if (::mkdir("/run/user", 0755) != 0 || ::mkdir(userRuntime.c_str(), 0700) != 0 ||
        ::chown(userRuntime.c_str(), user, user) != 0)
        return failed("cannot make " + userRuntime);
    DIR* etc = ::opendir(etcDir);
    if (!etc)
        return failed(std::string("cannot read ") + etcDir);
    while (const dirent* entry = ::readdir(etc)) {
        if (entry->d_name[0] != '.' &&
            !bindOverEtc(std::string(etcDir) + '/' + entry->d_name, entry->d_name)) {
            ::closedir(etc);
            return failed(std::string("cannot bind over /etc/") + entry->d_name);
        }
    }
    ::closedir(etc);
    if (::mount("kvl-tmp", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
        return failed("cannot mount /tmp");
    if (::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
        return failed("cannot mount /proc");
    // sysfs shows the interfaces of the namespace that mounts it.
    ::umount2("/sys", MNT_DETACH);
    if (::mount("sysfs", "/sys", "sysfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
        return failed("cannot mount /sys");
    return ::chdir("/") == 0 ? 0 : failed("cannot change to /");
}

// PID 1 of the namespace: reaps whatever ends inside until told to stop.
int holdInside() {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGCHLD);
    sigaddset(&blocked, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
    struct sigaction action {};
    action.sa_handler = onStop;
    ::sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = onChild;
    ::sigaction(SIGCHLD, &action, nullptr);
    sigset_t waiting;
    sigemptyset(&waiting);
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (!g_stop) {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (::ppoll(&input, 1, nullptr, &waiting) == 1) {
            char byte;
            if (::read(STDIN_FILENO, &byte, 1) <= 0)
                break;
        }
    }
    return 0;
}

int hold(const char* netns, const char* etcDir, uid_t user) {
    const int network = ::open(netns, O_RDONLY | O_CLOEXEC);
    if (network < 0 || ::setns(network, CLONE_NEWNET) != 0)
        return failed(std::string("cannot join ") + netns);
    ::close(network);
    if (::unshare(CLONE_NEWNS | CLONE_NEWPID) != 0)
        return failed("cannot make the mount and PID namespaces");
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return failed("cannot make a pipe");
    const pid_t child = ::fork();
    if (child < 0)
        return failed("cannot fork");
    if (child == 0) {
        ::close(ready[0]);
        // Its parent is outside its PID namespace: getppid() says 0 and cannot tell whether it is gone.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (const int error = setUpInside(etcDir, user))
            ::_exit(error);
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        ::close(ready[1]);
        ::_exit(holdInside());
    }
    ::close(ready[1]);
    g_child = child;
    ::signal(SIGTERM, forward);
    char byte = 0;
    if (::read(ready[0], &byte, 1) == 1) {
        std::printf("ready %d\n", int(child));
        std::fflush(stdout);
    }
    ::close(ready[0]);
    return waitFor(child);
}

void becomeUser(uid_t user, long processes) {
    const rlimit limit{rlim_t(processes), rlim_t(processes)};
    if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setrlimit(RLIMIT_NPROC, &limit) != 0 ||
        ::setuid(user) != 0)
        ::_exit(failed("cannot become uid " + std::to_string(user)));
    const std::string runtime = "/run/user/" + std::to_string(user);
    ::clearenv();
    ::setenv("PATH", "/usr/local/bin:/usr/bin:/bin:/usr/games", 1);
    ::setenv("HOME", "/tmp", 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/bus").c_str(), 1);
}

int enter(pid_t holder, uid_t user, long processes, char** command) {
    const std::string base = "/proc/" + std::to_string(holder) + "/ns/";
    // The mount namespace last: it changes what the paths of the others mean.
    const std::pair<const char*, int> namespaces[] = {
        {"net", CLONE_NEWNET}, {"pid", CLONE_NEWPID}, {"mnt", CLONE_NEWNS}};
    for (const auto& [name, type] : namespaces) {
        const int fd = ::open((base + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::setns(fd, type) != 0)
            return failed("cannot join " + base + name);
        ::close(fd);
    }
    if (::chdir("/") != 0)
        return failed("cannot change to /");
    sigset_t forwarded;
    sigemptyset(&forwarded);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&forwarded, signal);
    ::sigprocmask(SIG_BLOCK, &forwarded, nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return failed("cannot fork");
    if (child == 0) {
        if (user != 0)
            becomeUser(user, processes);
        // After the change of user, which clears it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::sigprocmask(SIG_UNBLOCK, &forwarded, nullptr);
        ::execvp(command[0], command);
        ::_exit(failed(std::string("cannot run ") + command[0]) + 2);
    }
    g_child = child;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::signal(signal, forward);
    ::sigprocmask(SIG_UNBLOCK, &forwarded, nullptr);
    return waitFor(child);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 5 && std::strcmp(argv[1], "hold") == 0)
        return hold(argv[2], argv[3], uid_t(std::atol(argv[4])));
    if (argc >= 6 && std::strcmp(argv[1], "enter") == 0)
        return enter(pid_t(std::atol(argv[2])), uid_t(std::atol(argv[3])), std::atol(argv[4]), argv + 5);
    std::fprintf(stderr, "usage: kestrava-netlab-pc hold NETNS_FILE ETC_DIR UID\n"
                         "       kestrava-netlab-pc enter HOLDER_PID UID NPROC PROGRAM [ARGUMENT...]\n");
    return 2;
}
