#pragma once

#include "agent/procs/ProcessInfo.h"
#include "agent/procs/ProcessTable.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <sys/stat.h>

namespace kestrava::agent {

// Tells whether a user's process runs only code the administrator installed: its executable and every
// file it maps executable must be root's, writable by root alone, on a file system mounted without
// nosuid (removable media are mounted nosuid), in folders root's and not writable by others up to the
// process's /. Deleted files (upgraded while running) are judged by the file they were and the folders
// of their former path. Anonymous and memfd mappings (a runtime's JIT) are not judged; an executable
// from a memfd fails; a program started through the dynamic loader is judged as if run directly.
// Verdicts are kept per file (device, inode, mtime, ctime and path), so processes of programs already
// judged cost a read of their maps and a stat per mapped file; a process of one thread that has not run
// since it was found clean costs a read of its CPU time.
class InstalledPrograms {
public:
    struct FileStatus {
        dev_t device = 0;
        ino_t inode = 0;
        uid_t owner = 0;
        mode_t mode = 0;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        bool nosuid = false; // filled only when the mount is asked for
    };
    // stat(2) of path, links followed; with mount, also whether its file system is mounted nosuid.
    using StatFunction = std::function<std::optional<FileStatus>(const QByteArray& path, bool mount)>;

    explicit InstalledPrograms(uid_t uidMin, const QString& procRoot = QStringLiteral("/proc"),
                               StatFunction stat = systemStat);

    // Why the process must end, such as "not an installed program: /home/s/game"; empty when it runs
    // installed code only, is root's or a system service's, or is gone.
    QString check(const ProcessInfo& process);

    static std::optional<FileStatus> systemStat(const QByteArray& path, bool mount);

private:
    // Why the file fails, empty when it passes; path is where the process sees it (maybe with
    // " (deleted)"), statPath reaches the very file it maps.
    QString judge(const QByteArray& dir, QByteArray path, const QByteArray& statPath);
    bool installed(const QByteArray& dir, const QByteArray& path, const FileStatus& file,
                   const QByteArray& reached);
    // The files the process maps executable but its executable.
    QString judgeMappings(const QByteArray& dir, const QByteArray& exe);
    // The program a process of the dynamic loader runs, judged as its executable.
    QString judgeLoaded(const QByteArray& dir);

    struct Idle {
        quint64 startTime = 0;
        QByteArray runtime;
    };

    uid_t m_uidMin;
    QByteArray m_procRoot;
    StatFunction m_stat;
    ProcessTable m_table;
    QHash<QByteArray, QString> m_verdicts;
    QHash<pid_t, Idle> m_idle; // processes of one thread found clean, with the CPU time they had used
    QElapsedTimer m_verdictsAge;
};

} // namespace kestrava::agent
