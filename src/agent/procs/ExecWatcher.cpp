#include "agent/procs/ExecWatcher.h"

#include "agent/procs/ProcsLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/cn_proc.h>
#include <linux/connector.h>
#include <linux/netlink.h>
#include <optional>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestrava::agent {

namespace {

QString errnoText(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Empty when a and b cannot be compared.
std::optional<bool> sameNamespace(const char* a, const char* b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a, &first) != 0 || ::stat(b, &second) != 0)
        return std::nullopt;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

int bindConnectorSocket(QString& error) {
    FileDescriptor fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_CONNECTOR));
    if (fd.get() < 0) {
        error = errnoText("netlink connector socket");
        return -1;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = CN_IDX_PROC;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = errnoText("binding to the process events");
        return -1;
    }
    return fd.release();
}

} // namespace

ExecWatcher::ExecWatcher(QObject* parent)
    : QObject(parent) {}

ExecWatcher::~ExecWatcher() {
    stop();
}

int ExecWatcher::openSocket(QString& error) {
    const char* ownNamespace = "/proc/thread-self/ns/net";
    const char* firstNamespace = "/proc/1/ns/net";
    const std::optional<bool> same = sameNamespace(ownNamespace, firstNamespace);
    // Unknown: the agent tries where it is, and says why that may fail.
    m_namespaceNote =
        same ? QString()
             : QStringLiteral("; the first network namespace is out of reach, ") + errnoText(firstNamespace);
    if (same.value_or(true))
        return bindConnectorSocket(error);

    FileDescriptor own(::open(ownNamespace, O_RDONLY | O_CLOEXEC));
    FileDescriptor first(::open(firstNamespace, O_RDONLY | O_CLOEXEC));
    if (own.get() < 0 || first.get() < 0) {
        error = errnoText("opening the network namespaces");
        return -1;
    }
    if (::setns(first.get(), CLONE_NEWNET) != 0) {
        error = errnoText("entering the first network namespace");
        return -1;
    }
    // The socket stays in the namespace it was made in.
    const int fd = bindConnectorSocket(error);
    // Carrying on in the wrong namespace would put the rules on the wrong machine.
    if (::setns(own.get(), CLONE_NEWNET) != 0)
        qFatal("kestrava-agent could not return to its own network namespace: %s", std::strerror(errno));
    return fd;
}

bool ExecWatcher::sendOperation(int operation) const {
    constexpr size_t kPayload = sizeof(cn_msg) + sizeof(proc_cn_mcast_op);
    alignas(nlmsghdr) char buffer[NLMSG_SPACE(kPayload)] = {};
    auto* header = reinterpret_cast<nlmsghdr*>(buffer);
    header->nlmsg_len = NLMSG_LENGTH(kPayload);
    header->nlmsg_type = NLMSG_DONE;
    auto* message = static_cast<cn_msg*>(NLMSG_DATA(header));
    message->id.idx = CN_IDX_PROC;
    message->id.val = CN_VAL_PROC;
    message->len = sizeof(proc_cn_mcast_op);
    const auto op = static_cast<proc_cn_mcast_op>(operation);
    std::memcpy(message->data, &op, sizeof op);
    return ::send(m_fd, buffer, header->nlmsg_len, 0) == ssize_t(header->nlmsg_len);
}

bool ExecWatcher::start() {
    if (isActive())
        return true;
    QString error;
    m_fd = openSocket(error);
    if (m_fd < 0) {
        logFailure(error);
        return false;
    }
    // A larger buffer rides out bursts of process starts; failing here only makes overruns likelier.
    const int bufferBytes = 1024 * 1024;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes);
    if (!sendOperation(PROC_CN_MCAST_LISTEN)) {
        logFailure(errnoText("subscribing to the process events"));
        ::close(std::exchange(m_fd, -1));
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ExecWatcher::readEvents);
    qCInfo(lcAgentProcs) << "Watching program starts and forks through the kernel's process connector";
    return true;
}

void ExecWatcher::stop() {
    if (!isActive())
        return;
    sendOperation(PROC_CN_MCAST_IGNORE);
    // stop() may run inside the notifier's own signal.
    m_notifier->setEnabled(false);
    m_notifier.release()->deleteLater();
    ::close(std::exchange(m_fd, -1));
}

void ExecWatcher::readEvents() {
    alignas(nlmsghdr) char buffer[16 * 1024];
    while (m_fd >= 0) {
        sockaddr_nl from{};
        socklen_t fromLength = sizeof from;
        ssize_t length =
            ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) {
                qCWarning(lcAgentProcs) << "Program start events were lost; looking at every process";
                emit overrun();
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                qCWarning(lcAgentProcs).noquote() << errnoText("Reading the process events");
            return;
        }
        // Only the kernel speaks on this group.
        if (from.nl_pid != 0)
            continue;
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_OVERRUN) {
                emit overrun();
                continue;
            }
            if (header->nlmsg_len < NLMSG_LENGTH(sizeof(cn_msg) + sizeof(proc_event)))
                continue;
            const auto* message = static_cast<const cn_msg*>(NLMSG_DATA(header));
            if (message->id.idx != CN_IDX_PROC || message->id.val != CN_VAL_PROC)
                continue;
            proc_event event;
            std::memcpy(&event, message->data, sizeof event);
            if (event.what == proc_event::PROC_EVENT_EXEC) {
                emit execed(pid_t(event.event_data.exec.process_tgid));
            } else if (event.what == proc_event::PROC_EVENT_FORK) {
                const auto& fork = event.event_data.fork;
                if (fork.child_pid == fork.child_tgid)
                    emit forked(pid_t(fork.parent_tgid), pid_t(fork.child_tgid));
            }
        }
    }
}

void ExecWatcher::logFailure(const QString& error) {
    if (m_failureLogged)
        return;
    m_failureLogged = true;
    qCWarning(lcAgentProcs).noquote()
        << QStringLiteral("Program start events unavailable (%1); blocked programs are found by looking "
                          "every 2 s")
               .arg(error + m_namespaceNote);
}

} // namespace kestrava::agent
