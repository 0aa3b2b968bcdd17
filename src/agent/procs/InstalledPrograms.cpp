#include "agent/procs/InstalledPrograms.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace kestrava::agent {

namespace {

// Verdicts are dropped now and then, so that a folder the administrator opens to others counts soon.
constexpr qint64 kVerdictsLifetimeMs = 60 * 1000;
constexpr qsizetype kVerdictsLimit = 20000;
constexpr qsizetype kIdleLimit = 65536;
constexpr qsizetype kCmdlineLimit = 64 * 1024;
constexpr qsizetype kMapsLimit = 8 * 1024 * 1024;
const QByteArray kDeleted(" (deleted)");

std::optional<QByteArray> readLink(const QByteArray& path) {
    char target[4096];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target)
        return std::nullopt;
    return QByteArray(target, length);
}

// /proc files report no size: read until their end, up to a limit.
std::optional<QByteArray> readProcFile(const QByteArray& path, qsizetype limit) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray data;
    char buffer[16384];
    while (data.size() < limit) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        data.append(buffer, got);
    }
    ::close(fd);
    return data;
}

bool isLoader(const QByteArray& exe) {
    const QByteArray name = exe.mid(exe.lastIndexOf('/') + 1);
    return name == "ld.so" || (name.startsWith("ld-") && name.contains(".so"));
}

// ld.so takes its options up to the first argument that is none of them: that is the program.
QByteArray loaderProgram(const QList<QByteArray>& args) {
    static const QSet<QByteArray> withValue{"--library-path",     "--inhibit-rpath", "--audit",
                                            "--preload",          "--argv0",         "--glibc-hwcaps-prepend",
                                            "--glibc-hwcaps-mask"};
    static const QSet<QByteArray> alone{"--list",          "--verify",           "--inhibit-cache",
                                        "--list-tunables", "--list-diagnostics", "--help",
                                        "--version"};
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (withValue.contains(args.at(i)) && i + 1 < args.size())
            ++i;
        else if (!alone.contains(args.at(i)))
            return args.at(i);
    }
    return {};
}

struct Mapping {
    QByteArray range; // its name in map_files
    QByteArray path;
};

// The files mapped executable, each once. Anonymous and kernel mappings have no path; memfd, shared
// anonymous and System V shared memory are a runtime's memory, not files. Read for every process of
// every scan: no copies but of what is kept.
QList<Mapping> executableFiles(const QByteArray& maps) {
    QList<Mapping> files;
    for (qsizetype start = 0; start < maps.size();) {
        qsizetype end = maps.indexOf('\n', start);
        if (end < 0)
            end = maps.size();
        const QByteArrayView line(maps.constData() + start, end - start);
        start = end + 1;
        // "start-end perms offset dev inode   path": the path may hold blanks.
        const qsizetype perms = line.indexOf(' ') + 1;
        if (perms <= 0 || perms + 2 >= line.size() || line.at(perms + 2) != 'x')
            continue;
        qsizetype pos = perms;
        for (int field = 0; field < 4 && pos > 0; ++field)
            pos = line.indexOf(' ', pos) + 1;
        while (pos > 0 && pos < line.size() && line.at(pos) == ' ')
            ++pos;
        const QByteArrayView path = pos > 0 ? line.sliced(pos) : QByteArrayView();
        if (!path.startsWith('/') || path.startsWith("/memfd:") || path.startsWith("/SYSV") ||
            path == "/dev/zero (deleted)")
            continue;
        if (std::none_of(files.cbegin(), files.cend(),
                         [&path](const Mapping& file) { return file.path == path; }))
            files.append({line.first(perms - 1).toByteArray(), path.toByteArray()});
    }
    return files;
}

// The CPU time a process of one thread has used, exactly: while it stays the same the process has not run,
// so it cannot have mapped anything new. Empty for processes of several threads (each could map).
QByteArray singleThreadRuntime(const QByteArray& dir) {
    struct stat tasks {};
    // A /proc/PID/task folder has two links more than the process has threads.
    if (::stat((dir + "task").constData(), &tasks) != 0 || tasks.st_nlink != 3)
        return {};
    const QByteArray schedstat = readProcFile(dir + "schedstat", 256).value_or(QByteArray());
    const QByteArray runtime = schedstat.left(schedstat.indexOf(' '));
    // Kernels that keep no such account show "0 0 0" for every process.
    return runtime == "0" ? QByteArray() : runtime;
}

QString notInstalled(const QByteArray& path) {
    return QStringLiteral("not an installed program: %1").arg(QFile::decodeName(path));
}

} // namespace

InstalledPrograms::InstalledPrograms(uid_t uidMin, const QString& procRoot, StatFunction stat)
    : m_uidMin(uidMin)
    , m_procRoot(QFile::encodeName(procRoot))
    , m_stat(std::move(stat))
    , m_table(procRoot) {
    m_verdictsAge.start();
}

QString InstalledPrograms::check(const ProcessInfo& process) {
    if (process.uid == 0 || process.uid < m_uidMin || process.state == 'Z')
        return {};
    if (m_verdictsAge.hasExpired(kVerdictsLifetimeMs) || m_verdicts.size() > kVerdictsLimit) {
        m_verdicts.clear();
        m_verdictsAge.restart();
    }
    // Idle processes keep their verdict (what they run has not changed); those gone go now and then.
    if (m_idle.size() > kIdleLimit)
        m_idle.clear();
    const QByteArray dir = m_procRoot + '/' + QByteArray::number(process.pid) + '/';
    // Read before the maps, so that whatever the process does after this shows next time.
    const QByteArray runtime = singleThreadRuntime(dir);
    const auto idle = m_idle.constFind(process.pid);
    if (!runtime.isEmpty() && idle != m_idle.cend() && idle->startTime == process.startTime &&
        idle->runtime == runtime)
        return {};
    const std::optional<QByteArray> exe = readLink(dir + "exe");
    if (!exe)
        return {};

    QString reason;
    if (exe->startsWith("/memfd:"))
        reason = notInstalled(exe->mid(1).chopped(exe->endsWith(kDeleted) ? kDeleted.size() : 0));
    else
        reason = judge(dir, *exe, dir + "exe");
    if (reason.isEmpty() && isLoader(*exe))
        reason = judgeLoaded(dir);
    if (reason.isEmpty())
        reason = judgeMappings(dir, *exe);
    if (reason.isEmpty() && !runtime.isEmpty())
        m_idle.insert(process.pid, {process.startTime, runtime});
    else
        m_idle.remove(process.pid);
    // What could not be read because the process ended is no reason to end another under its pid.
    if (!reason.isEmpty() && m_table.startTime(process.pid) != process.startTime)
        return {};
    return reason;
}

QString InstalledPrograms::judge(const QByteArray& dir, QByteArray path, const QByteArray& statPath) {
    const bool deleted = path.endsWith(kDeleted);
    if (deleted)
        path.chop(kDeleted.size());
    QByteArray reached = statPath;
    std::optional<FileStatus> file = m_stat(reached, false);
    // Without access to the mapped file itself (not root), its path tells; not for a deleted one.
    if (!file && !deleted) {
        reached = dir + "root" + path;
        file = m_stat(reached, false);
    }
    if (!file)
        return notInstalled(path);

    QByteArray key = path;
    for (const qint64 part : {qint64(file->device), qint64(file->inode), file->mtimeNs, file->ctimeNs})
        key.append(reinterpret_cast<const char*>(&part), sizeof part);
    const auto known = m_verdicts.constFind(key);
    if (known != m_verdicts.cend())
        return *known;
    const QString verdict = installed(dir, path, *file, reached) ? QString() : notInstalled(path);
    m_verdicts.insert(key, verdict);
    return verdict;
}

bool InstalledPrograms::installed(const QByteArray& dir, const QByteArray& path, const FileStatus& file,
                                  const QByteArray& reached) {
    if (file.owner != 0 || (file.mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    const std::optional<FileStatus> mounted = m_stat(reached, true);
    if (!mounted || mounted->nosuid)
        return false;
    // The folders as they are now, from the process's own / (it may live in another mount namespace).
    const QByteArray root = dir + "root";
    const qsizetype last = path.lastIndexOf('/');
    for (qsizetype end = 0; end >= 0 && end <= last; end = path.indexOf('/', end + 1)) {
        const std::optional<FileStatus> folder = m_stat(root + path.left(end), false);
        if (!folder || folder->owner != 0 || (folder->mode & S_IWOTH) != 0)
            return false;
    }
    return true;
}

QString InstalledPrograms::judgeMappings(const QByteArray& dir, const QByteArray& exe) {
    const QByteArray maps = readProcFile(dir + "maps", kMapsLimit).value_or(QByteArray());
    // Mappings past the limit would go unseen: padding in front of a library must not hide it.
    if (maps.size() >= kMapsLimit)
        return QStringLiteral("not an installed program: too many mappings to examine");
    for (const Mapping& mapping : executableFiles(maps)) {
        if (mapping.path == exe) // judged as the executable
            continue;
        const QString reason = judge(dir, mapping.path, dir + "map_files/" + mapping.range);
        if (!reason.isEmpty())
            return reason;
    }
    return {};
}

QString InstalledPrograms::judgeLoaded(const QByteArray& dir) {
    QList<QByteArray> args = readProcFile(dir + "cmdline", kCmdlineLimit).value_or(QByteArray()).split('\0');
    QByteArray program = loaderProgram(args);
    if (program.isEmpty())
        return {};
    if (!program.startsWith('/'))
        program = readLink(dir + "cwd").value_or(QByteArray()) + '/' + program;
    program = QFile::encodeName(QDir::cleanPath(QFile::decodeName(program)));
    return judge(dir, program, dir + "root" + program);
}

std::optional<InstalledPrograms::FileStatus> InstalledPrograms::systemStat(const QByteArray& path,
                                                                           bool mount) {
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return std::nullopt;
    constexpr qint64 kNs = 1000 * 1000 * 1000;
    FileStatus file{status.st_dev,
                    status.st_ino,
                    status.st_uid,
                    status.st_mode,
                    qint64(status.st_mtim.tv_sec) * kNs + status.st_mtim.tv_nsec,
                    qint64(status.st_ctim.tv_sec) * kNs + status.st_ctim.tv_nsec,
                    false};
    if (mount) {
        struct statvfs fileSystem {};
        if (::statvfs(path.constData(), &fileSystem) != 0)
            return std::nullopt;
        file.nosuid = (fileSystem.f_flag & ST_NOSUID) != 0;
    }
    return file;
}

} // namespace kestrava::agent
