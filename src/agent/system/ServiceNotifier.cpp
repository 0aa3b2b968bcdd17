#include "agent/system/ServiceNotifier.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <limits>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcService, "kestrava.agent.service")

namespace kestrava::agent {

namespace {

// The watchdog interval in milliseconds, 0 when none is asked of this process.
int watchdogMs() {
    bool ok = false;
    const qulonglong usec = qgetenv("WATCHDOG_USEC").toULongLong(&ok);
    if (!ok || usec == 0)
        return 0;
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    if (!pid.isEmpty() && pid.toLongLong() != ::getpid())
        return 0;
    return int(std::min<qulonglong>(usec / 1000, std::numeric_limits<int>::max()));
}

} // namespace

ServiceNotifier::ServiceNotifier(QObject* parent)
    : QObject(parent)
    , m_socketPath(qgetenv("NOTIFY_SOCKET")) {
    const int watchdog = watchdogMs();
    qunsetenv("NOTIFY_SOCKET");
    qunsetenv("WATCHDOG_USEC");
    qunsetenv("WATCHDOG_PID");
    // Only absolute paths and abstract names ('@') are socket addresses.
    if (!m_socketPath.startsWith('/') && !m_socketPath.startsWith('@'))
        m_socketPath.clear();
    if (m_socketPath.size() >= int(sizeof(sockaddr_un::sun_path))) {
        qCWarning(lcService) << "NOTIFY_SOCKET is too long; systemd is not told of readiness";
        m_socketPath.clear();
    }
    if (watchdog > 0 && isActive()) {
        m_watchdog.setInterval(std::max(watchdog / 2, 1));
        connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    }
}

void ServiceNotifier::ready() {
    if (!isActive())
        return;
    if (send("READY=1"))
        qCInfo(lcService) << "told systemd the agent is ready";
    if (m_watchdog.interval() > 0)
        m_watchdog.start();
}

bool ServiceNotifier::send(const QByteArray& state) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_socketPath.constData(), size_t(m_socketPath.size()));
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0';
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(m_socketPath.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool sent = false;
    int error = errno;
    if (fd >= 0) {
        // A full queue at systemd's end must not hold up the loop either.
        sent = ::sendto(fd, state.constData(), size_t(state.size()), MSG_DONTWAIT | MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length) == state.size();
        error = errno;
        ::close(fd);
    }
    if (!sent && !m_failureLogged) {
        m_failureLogged = true;
        qCWarning(lcService).noquote() << "could not notify systemd at"
                                       << QString::fromLocal8Bit(m_socketPath) << ":" << std::strerror(error);
    }
    return sent;
}

} // namespace kestrava::agent
