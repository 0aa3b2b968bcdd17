#include "agent/procs/ProcessTable.h"

#include <QFile>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace kestrava::agent {

namespace {

constexpr qsizetype kStatLimit = 4096;
constexpr qsizetype kStatusLimit = 16 * 1024;

// /proc files report no size, so they are read until their end, up to a limit. Relative to dirFd
// when it is given: the open /proc/PID folder, which keeps naming the same process.
std::optional<QByteArray> readSmallFile(int dirFd, const char* path, qsizetype limit) {
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // Most /proc files fit a first small read; the buffer grows only for longer ones.
    QByteArray data(qMin<qsizetype>(limit, 4096), Qt::Uninitialized);
    qsizetype total = 0;
    while (total < limit) {
        if (total == data.size())
            data.resize(qMin(limit, data.size() * 4));
        const ssize_t got = ::read(fd, data.data() + total, size_t(data.size() - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        total += got;
    }
    ::close(fd);
    data.truncate(total);
    return data;
}

std::optional<QByteArray> readSmallFile(const QString& path, qsizetype limit) {
    return readSmallFile(AT_FDCWD, QFile::encodeName(path).constData(), limit);
}

QString baseName(const QByteArray& path) {
    return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
}

struct StatFields {
    QByteArray comm;
    char state = '?';
    pid_t parentPid = 0;
    quint64 startTime = 0;
};

// "pid (comm) state ppid ...": comm may hold blanks and parentheses, so it ends at the last ')'.
std::optional<StatFields> parseStat(const QByteArray& stat) {
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    // fields[0] is field 3 (state), so field 22 (start time) is fields[19].
    constexpr int kStartTimeIndex = 22 - 3;
    if (fields.size() <= kStartTimeIndex || fields.at(0).size() != 1)
        return std::nullopt;
    bool ok = false;
    const quint64 startTime = fields.at(kStartTimeIndex).toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return StatFields{stat.mid(open + 1, close - open - 1), fields.at(0).at(0), pid_t(fields.at(1).toInt()),
                      startTime};
}

std::optional<uid_t> parseRealUid(const QByteArray& status) {
    const qsizetype line = status.startsWith("Uid:") ? 0 : status.indexOf("\nUid:");
    if (line < 0)
        return std::nullopt;
    const qsizetype from = status.indexOf(':', line) + 1;
    qsizetype end = from;
    while (end < status.size() && status.at(end) != '\n')
        ++end;
    bool ok = false;
    const uint uid = status.mid(from, end - from).simplified().split(' ').first().toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return uid_t(uid);
}

} // namespace

ProcessTable::ProcessTable(QString procRoot)
    : m_procRoot(std::move(procRoot)) {}

QList<pid_t> ProcessTable::pids() const {
    QList<pid_t> result;
    DIR* dir = ::opendir(QFile::encodeName(m_procRoot).constData());
    if (!dir)
        return result;
    while (const dirent* entry = ::readdir(dir)) {
        bool ok = false;
        const int pid = QByteArray(entry->d_name).toInt(&ok);
        if (ok && pid > 0)
            result.append(pid);
    }
    ::closedir(dir);
    return result;
}

std::optional<ProcessInfo> ProcessTable::read(pid_t pid, uid_t uidFrom) const {
    // Every file is read through the process's folder, held open: should the process end and its pid
    // be reused meanwhile, the reads fail instead of mixing two processes.
    const int dirFd =
        ::open(QFile::encodeName(m_procRoot + QLatin1Char('/') + QString::number(pid)).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return std::nullopt;
    std::optional<ProcessInfo> info = readFrom(dirFd, pid, uidFrom);
    ::close(dirFd);
    return info;
}

std::optional<ProcessInfo> ProcessTable::readFrom(int dirFd, pid_t pid, uid_t uidFrom) const {
    // Most command lines fit the first read; a longer one is read whole, up to what exec allows.
    constexpr qsizetype kCmdlineLimit = 2 * 1024 * 1024;

    const std::optional<QByteArray> status = readSmallFile(dirFd, "status", kStatusLimit);
    const std::optional<uid_t> uid = status ? parseRealUid(*status) : std::nullopt;
    if (!uid || *uid < uidFrom)
        return std::nullopt;
    const std::optional<QByteArray> stat = readSmallFile(dirFd, "stat", kStatLimit);
    const std::optional<StatFields> fields = stat ? parseStat(*stat) : std::nullopt;
    if (!fields)
        return std::nullopt;

    ProcessInfo info;
    info.pid = pid;
    info.uid = *uid;
    info.startTime = fields->startTime;
    info.state = fields->state;
    info.comm = QString::fromUtf8(fields->comm);
    info.parentPid = fields->parentPid;

    // Kernel threads and zombies have no executable; a replaced one reads "... (deleted)".
    char target[4096];
    const ssize_t length = ::readlinkat(dirFd, "exe", target, sizeof target);
    if (length > 0 && size_t(length) < sizeof target) {
        QByteArray exe(target, length);
        const QByteArray deleted(" (deleted)");
        info.exeDeleted = exe.endsWith(deleted);
        if (info.exeDeleted)
            exe.chop(deleted.size());
        info.exePath = QFile::decodeName(exe);
        info.exeName = baseName(exe);
    }

    if (std::optional<QByteArray> cmdline = readSmallFile(dirFd, "cmdline", kCmdlineLimit)) {
        const qsizetype end = cmdline->indexOf('\0');
        info.argv0Name = baseName(end < 0 ? *cmdline : cmdline->left(end));
        if (cmdline->endsWith('\0'))
            cmdline->chop(1);
        if (!cmdline->isEmpty()) {
            for (const QByteArray& argument : cmdline->split('\0'))
                info.arguments.append(QFile::decodeName(argument));
        }
    }
    return info;
}

QList<pid_t> ProcessTable::children(pid_t pid) const {
    QList<pid_t> result;
    const QString tasks = m_procRoot + QLatin1Char('/') + QString::number(pid) + QLatin1String("/task");
    const ProcessTable threads(tasks);
    for (const pid_t thread : threads.pids()) {
        const std::optional<QByteArray> list = readSmallFile(
            tasks + QLatin1Char('/') + QString::number(thread) + QLatin1String("/children"), kStatusLimit);
        for (const QByteArray& child : list.value_or(QByteArray()).simplified().split(' ')) {
            bool ok = false;
            const int childPid = child.toInt(&ok);
            if (ok && childPid > 0)
                result.append(childPid);
        }
    }
    return result;
}

std::optional<quint64> ProcessTable::startTime(pid_t pid) const {
    const std::optional<QByteArray> stat = readSmallFile(
        m_procRoot + QLatin1Char('/') + QString::number(pid) + QLatin1String("/stat"), kStatLimit);
    const std::optional<StatFields> fields = stat ? parseStat(*stat) : std::nullopt;
    if (!fields)
        return std::nullopt;
    return fields->startTime;
}

} // namespace kestrava::agent
