#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <sys/types.h>

namespace kestrava::agent {

// What the agent knows of one running process, read from /proc.
struct ProcessInfo {
    pid_t pid = 0;
    uid_t uid = 0;         // the real uid
    quint64 startTime = 0; // clock ticks after boot: a pid with another start time is another process
    char state = '?';      // 'Z' for a zombie
    QString comm;          // the kernel's name of it, at most 15 characters
    QString exeName;       // basename of the executable; empty for kernel threads and zombies
    QString argv0Name;     // basename of argv[0]; empty when the command line is
    pid_t parentPid = 0;
    QString exePath{}; // the executable's path, " (deleted)" removed; "/memfd:NAME" for a memfd
    bool exeDeleted = false;
    QStringList arguments{}; // the command line, argv[0] first

    bool operator==(const ProcessInfo&) const = default;
};

} // namespace kestrava::agent
