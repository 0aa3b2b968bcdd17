#include "StallingBus.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// The start of an authentication answer that never ends.
constexpr char kTrickle[] = "OK 0123456789abcdef0123456789abcdef";
constexpr int kTrickleIntervalMs = 200;
} // namespace

StallingBus::StallingBus(Mode mode)
    : m_mode(mode) {
    m_trickle.setInterval(kTrickleIntervalMs);
    QObject::connect(&m_trickle, &QTimer::timeout, [this] { trickle(); });
}

StallingBus::~StallingBus() {
    m_notifier.reset();
    for (const int fd : m_peers)
        ::close(fd);
    if (m_listener >= 0) {
        ::close(m_listener);
        QFile::remove(m_path);
    }
}

QString StallingBus::listen(const QString& path, uid_t user) {
    m_path = path;
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path)
        return QStringLiteral("path too long: ") + path;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    ::unlink(name.constData());
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // A backlog of 0 holds one connection; the one made here fills it.
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chown(name.constData(), user, user) != 0 || ::chmod(name.constData(), 0600) != 0 ||
        ::listen(m_listener, m_mode == Mode::FullBacklog ? 0 : 16) != 0)
        return QStringLiteral("cannot listen at %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (m_mode == Mode::FullBacklog) {
        const int filler = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        m_peers.push_back(filler);
        if (filler < 0 || ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return QStringLiteral("cannot fill the queue at ") + path;
        return {};
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_listener, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { accept(); });
    if (m_mode == Mode::Trickle)
        m_trickle.start();
    return {};
}

void StallingBus::accept() {
    for (int fd; (fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;)
        m_peers.push_back(fd);
}

void StallingBus::trickle() {
    const char byte = kTrickle[m_sent++ % (sizeof kTrickle - 1)];
    for (const int fd : m_peers)
        [[maybe_unused]] const ssize_t written = ::send(fd, &byte, 1, MSG_NOSIGNAL);
}
