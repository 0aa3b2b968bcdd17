#pragma once

#include <QProcess>
#include <QString>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

// Moves the calling thread, and the programs it starts, into a network namespace of its own with only
// loopback up. What is applied there disappears with it, also when the test crashes; the machine's own
// namespace is never touched. reason() says why not when that is impossible.
class PrivateNetwork {
public:
    PrivateNetwork() {
        if (geteuid() != 0) {
            m_reason = QStringLiteral("needs root to create a network namespace");
            return;
        }
        m_original = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        if (m_original < 0 || unshare(CLONE_NEWNET) != 0) {
            m_reason =
                QStringLiteral("no network namespace: %1").arg(QString::fromLocal8Bit(strerror(errno)));
            return;
        }
        m_entered = true;
        if (!ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")}))
            m_reason = QStringLiteral("the ip program could not bring loopback up");
    }
    ~PrivateNetwork() {
        if (m_entered)
            setns(m_original, CLONE_NEWNET);
        if (m_original >= 0)
            close(m_original);
    }
    QString reason() const { return m_reason; }

    static bool ip(const QStringList& arguments) {
        return QProcess::execute(QStringLiteral("ip"), arguments) == 0;
    }

private:
    QString m_reason;
    int m_original = -1;
    bool m_entered = false;
};
