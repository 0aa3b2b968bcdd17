#pragma once

#include <QDir>
#include <QFile>
#include <sys/types.h>

// Writes the /proc files of one process into a directory standing in for /proc.
struct FakeProcess {
    pid_t pid = 0;
    uid_t uid = 1000;
    quint64 startTime = 1;
    QByteArray comm;
    QByteArray exe; // link target; empty: no link, as for kernel threads
    QByteArray cmdline;
    char state = 'S';
    pid_t parentPid = 1;
};

inline void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
}

inline void writeFakeProcess(const QString& root, const FakeProcess& process) {
    const QString dir = root + QLatin1Char('/') + QString::number(process.pid);
    QDir().mkpath(dir);
    QByteArray stat = QByteArray::number(process.pid) + " (" + process.comm + ") " + process.state + ' ' +
                      QByteArray::number(process.parentPid);
    for (int field = 5; field < 22; ++field)
        stat += " 0";
    writeFile(dir + QLatin1String("/stat"), stat + ' ' + QByteArray::number(process.startTime) + " 0 0\n");
    const QByteArray uid = QByteArray::number(process.uid);
    writeFile(dir + QLatin1String("/status"), "Name:\t" + process.comm + "\nUid:\t" + uid + "\t0\t0\t0\n");
    writeFile(dir + QLatin1String("/cmdline"), process.cmdline);
    if (!process.exe.isEmpty())
        QFile::link(QFile::decodeName(process.exe), dir + QLatin1String("/exe"));
    QFile::link(QStringLiteral("/"), dir + QLatin1String("/root"));
    QFile::link(root, dir + QLatin1String("/cwd"));
}
