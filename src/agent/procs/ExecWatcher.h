#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <sys/types.h>

namespace kestrava::agent {

// Tells when a process starts a program or forks a new process, from the kernel's process connector (root
// only). The connector exists only in the machine's first network namespace, so an agent started inside
// another one makes its socket there and comes back.
class ExecWatcher : public QObject {
    Q_OBJECT

public:
    explicit ExecWatcher(QObject* parent = nullptr);
    ~ExecWatcher() override;

    // Starts listening; false when the kernel's events cannot be had (logged once).
    bool start();
    void stop();
    bool isActive() const { return m_fd >= 0; }

signals:
    void execed(pid_t pid);
    // A new process (not a thread) of parent.
    void forked(pid_t parent, pid_t child);
    // The kernel dropped events: a full look at the processes is due.
    void overrun();

private:
    int openSocket(QString& error);
    bool sendOperation(int operation) const;
    void readEvents();
    void logFailure(const QString& error);

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_failureLogged = false;
    QString m_namespaceNote;
};

} // namespace kestrava::agent
