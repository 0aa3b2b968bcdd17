#include "StallingBus.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chown(name.constData(), user, user) != 0 || ::chmod(name.constData(), 0600) != 0 ||
        ::listen(m_listener, 16) != 0)
        return QStringLiteral("cannot listen at %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    m_notifier = std::make_unique<QSocketNotifier>(m_listener, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { accept(); });
    return {};
}

void StallingBus::accept() {
    for (int fd; (fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;)
        m_peers.push_back(fd);
}
