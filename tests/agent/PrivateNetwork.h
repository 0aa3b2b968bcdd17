#pragma once

#include <QProcess>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

// Moves the calling thread, and the programs it starts, into a network namespace of its own with
// loopback up. What is applied there vanishes with it, also when the test crashes; the machine's own
// namespace is never touched. reason() says why not when that is impossible.
class PrivateNetwork {
public:
    PrivateNetwork()
        : m_original(geteuid() == 0 ? open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC) : -1) {
        if (geteuid() != 0)
            m_reason = QStringLiteral("needs root to create a network namespace");
        else if (m_original < 0 || unshare(CLONE_NEWNET) != 0)
            m_reason = QStringLiteral("no network namespace: ") + QString::fromLocal8Bit(strerror(errno));
        else if (!ip(QStringLiteral("link set lo up")))
            m_reason = QStringLiteral("the ip program could not bring loopback up");
    }
    ~PrivateNetwork() {
        if (m_original >= 0) {
            setns(m_original, CLONE_NEWNET);
            close(m_original);
        }
    }
    QString reason() const { return m_reason; }
    // Words separated by single spaces, each its own argument.
    static bool ip(const QString& words) {
        return QProcess::execute(QStringLiteral("ip"), words.split(u' ')) == 0;
    }

private:
    QString m_reason;
    int m_original;
};
