#include "ComputerInit.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ComputerInit {

namespace {

pid_t g_first = 0;

bool fail(const char* what, const std::string& where) {
    std::fprintf(stderr, "kestrava-lab: lab computer: %s %s: %s\n", what, where.c_str(),
                 std::strerror(errno));
    return false;
}

bool mountTmpfs(const char* where, const char* options) {
    return ::mount("tmpfs", where, "tmpfs", MS_NOSUID | MS_NODEV, options) == 0 ||
           fail("cannot mount on", where);
}

bool makeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot create", path);
    ::close(fd);
    return true;
}

// A resolv.conf that is a link (into /run, to systemd-resolved's stub) is replaced where it points.
bool bindFile(const std::string& from, const std::string& onto) {
    std::string target = onto;
    char resolved[PATH_MAX];
    const ssize_t length = ::readlink(onto.c_str(), resolved, sizeof resolved - 1);
    if (length > 0) {
        resolved[length] = '\0';
        target = resolved[0] == '/' ? std::string(resolved) : "/etc/" + std::string(resolved);
        const std::string folder = target.substr(0, target.rfind('/'));
        for (std::size_t at = 1; at != std::string::npos; at = folder.find('/', at + 1))
            ::mkdir(folder.substr(0, folder.find('/', at + 1)).c_str(), 0755);
        if (::access(target.c_str(), F_OK) != 0 && !makeFile(target))
            return false;
    }
    return ::mount(from.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0 ||
           fail("cannot bind over", target);
}

bool copyFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    bool ok = in >= 0 && out >= 0;
    char buffer[65536];
    for (ssize_t got = 0; ok && (got = ::read(in, buffer, sizeof buffer)) > 0;)
        ok = ::write(out, buffer, static_cast<std::size_t>(got)) == got;
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return ok || fail("cannot copy", from);
}

bool makeRuntimeFolder(uid_t student) {
    const std::string runtime = "/run/user/" + std::to_string(student);
    return (::mkdir("/run/user", 0755) == 0 && ::mkdir(runtime.c_str(), 0700) == 0 &&
            ::chown(runtime.c_str(), student, student) == 0) ||
           fail("cannot make", runtime);
}

// A build or install under /tmp (a checkout there, say) stays in sight of the computer: its programs are
// started inside it. Only the lab's own program folder is bound back, never the rest of the machine's /tmp.
bool mountTmpKeepingPrograms() {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string programs = length > 0 ? std::string(self, std::size_t(length)) : std::string();
    programs = programs.substr(0, programs.rfind('/'));
    const bool underTmp = programs.rfind("/tmp/", 0) == 0;
    const int kept = underTmp ? ::open(programs.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
    if (underTmp && kept < 0)
        return fail("cannot open", programs);
    if (!mountTmpfs("/tmp", "mode=1777"))
        return false;
    if (!underTmp)
        return true;
    for (std::size_t at = 5; at != std::string::npos; at = programs.find('/', at + 1))
        ::mkdir(programs.substr(0, programs.find('/', at + 1)).c_str(), 0755);
    const std::string source = "/proc/self/fd/" + std::to_string(kept);
    const bool bound = ::mount(source.c_str(), programs.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
    ::close(kept);
    return bound || fail("cannot bind back", programs);
}

// The folder is read before /tmp is mounted over, where it may lie.
bool prepareMounts(const std::string& folder, uid_t student) {
    // Nothing mounted here may reach the machine's own mount table.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) != 0)
        return fail("cannot make private", "/");
    // Debian has the folder; a machine without it gets an empty one.
    ::mkdir("/usr/local/games", 0755);
    const std::string game = folder + "/labgame";
    return mountTmpfs("/run", "mode=0755") && makeRuntimeFolder(student) &&
           mountTmpfs("/usr/local/games", "mode=0755") &&
           (::access(game.c_str(), F_OK) != 0 || copyFile(game, "/usr/local/games/labgame")) &&
           bindFile(folder + "/passwd", "/etc/passwd") && bindFile(folder + "/group", "/etc/group") &&
           bindFile(folder + "/hosts", "/etc/hosts") &&
           bindFile(folder + "/resolv.conf", "/etc/resolv.conf") && mountTmpKeepingPrograms();
}

// Closing ready tells the maker that its /proc is in place.
[[noreturn]] void beFirstProcess(int ready) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        fail("cannot mount", "/proc");
        ::_exit(1);
    }
    ::close(ready);
    // As PID 1 it ignores what it has no handler for; SIGTERM ends the computer.
    ::signal(SIGTERM, [](int) { ::_exit(0); });
    // Orphans of the computer are reaped here; a handler, so that pause returns when one ends.
    ::signal(SIGCHLD, [](int) {});
    for (;;) {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        ::pause();
    }
}

} // namespace

int run(const std::string& folder, uid_t student) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1 || !prepareMounts(folder, student))
        return 1;
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        fail("cannot make", "a pipe");
        return 1;
    }
    if (::unshare(CLONE_NEWPID) != 0) {
        fail("cannot make", "a PID namespace");
        return 1;
    }
    const pid_t first = ::fork();
    if (first < 0)
        return 1;
    if (first == 0)
        beFirstProcess(ready[1]);
    // Asked to end, it ends the computer and reaps its PID 1, so that no process of it outlives it.
    g_first = first;
    ::signal(SIGTERM, [](int) { ::kill(g_first, SIGKILL); });
    ::close(ready[1]);
    char none = 0;
    while (::read(ready[0], &none, 1) < 0 && errno == EINTR) {
    }
    ::close(ready[0]);
    std::printf("pid %d\n", first);
    std::fflush(stdout);
    int status = 0;
    while (::waitpid(first, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace ComputerInit
