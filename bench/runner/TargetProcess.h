#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace kestrava::bench {

// A process that the load talks to: the real console under xvfb-run, the core harness, or the epoll
// reference. Knows its own process id for memory and CPU figures, and ends only that process.
class TargetProcess {
public:
    // The console copied into folder (with its database beside it), under xvfb-run.
    static std::unique_ptr<TargetProcess> startConsole(const QString& folder);
    // A program started directly; waits until it prints a line that starts with readyWord.
    static std::unique_ptr<TargetProcess> startDirect(const QString& program, const QStringList& arguments,
                                                      const QString& readyWord);
    ~TargetProcess();

    qint64 pid() const { return m_pid; }
    bool isRunning() const;
    // Resident memory in KiB, -1 when unknown.
    qint64 rssKib() const;
    // User and system CPU time used so far, in ns.
    qint64 cpuNs() const;
    // When the process started, on the boot clock, in ns (10 ms resolution).
    qint64 startBootNs() const;
    QProcess& process() { return m_process; }
    // Sends one line on its standard input and returns the first answer line that starts with word.
    QString request(const QString& line, const QString& word, int timeoutMs);

private:
    TargetProcess() = default;
    QString readLineStartingWith(const QString& word, int timeoutMs);
    QStringList statFields() const;

    QProcess m_process;
    qint64 m_pid = 0;
};

} // namespace kestrava::bench
