#include "core/link/ClientConnection.h"

#include "core/link/SocketErrors.h"

#include <QTcpSocket>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrava {

ClientConnection::ClientConnection(int index, qintptr descriptor, Timing timing, QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_descriptor(static_cast<int>(descriptor))
    , m_timing(timing)
    , m_readable(std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read))
    , m_splitter(timing.identificationWait) {
    ::fcntl(m_descriptor, F_SETFL, ::fcntl(m_descriptor, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(m_descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &ClientConnection::onReadable);
    setUp();
}

ClientConnection::ClientConnection(int index, QTcpSocket* socket, Timing timing, QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_descriptor(static_cast<int>(socket->socketDescriptor()))
    , m_timing(timing)
    , m_socket(socket)
    , m_splitter(timing.identificationWait) {
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // One byte above the largest arrival that is handled, so a larger one shows as such.
    m_socket->setReadBufferSize(InboundSplitter::kMaxArrivalBytes + 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::onReadable);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ClientConnection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { end(); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        emit failed(m_index, SocketErrors::numberOf(error));
    });
    setUp();
}

void ClientConnection::setUp() {
    m_spacing.setSingleShot(true);
    m_spacing.setTimerType(Qt::PreciseTimer);
    connect(&m_spacing, &QTimer::timeout, this, &ClientConnection::writeNext);
    connect(&m_splitter, &InboundSplitter::identificationTimedOut, this,
            [this](const QString& message) { deliver({message}); });
}

ClientConnection::~ClientConnection() {
    if (m_socket) {
        m_socket->disconnect(this);
        return;
    }
    // The notifiers leave the event dispatcher before their descriptor is closed and can be reused.
    m_readable.reset();
    m_writable.reset();
    ::close(m_descriptor);
}

void ClientConnection::end() {
    if (m_ended)
        return;
    m_ended = true;
    if (m_readable)
        m_readable->setEnabled(false);
    emit closed(m_index);
}

bool ClientConnection::isConnected() const {
    return !m_failed && !m_shutDown && !m_ended &&
           (!m_socket || m_socket->state() == QAbstractSocket::ConnectedState);
}

QHostAddress ClientConnection::peerAddressOf(qintptr descriptor) {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(&peer));
}

QString ClientConnection::remoteAddress() const {
    const QHostAddress peer = peerAddress();
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4).toString() : peer.toString();
}

void ClientConnection::send(const QByteArray& message) {
    if (enqueue(message))
        writeNext();
}

bool ClientConnection::enqueue(const QByteArray& message) {
    if (m_shutDown || queuedCount() >= kMaxQueuedMessages)
        return false;
    m_queue.push_back(message);
    return true;
}

void ClientConnection::writeNext() {
    if (m_shutDown || m_ended || m_writing || m_queue.empty())
        return;
    if (m_sinceHandedOver.isValid()) {
        const auto waited = std::chrono::milliseconds(m_sinceHandedOver.elapsed());
        if (waited < m_timing.sendSpacing) {
            if (!m_spacing.isActive())
                m_spacing.start(m_timing.sendSpacing - waited);
            return;
        }
    }
    const QByteArray message = std::move(m_queue.front());
    m_queue.pop_front();
    m_writing = true;
    if (!handOver(message)) {
        m_writing = false;
        return;
    }
    onBytesWritten();
}

bool ClientConnection::handOver(const QByteArray& message) {
    // Bytes of an encrypted socket go through TLS, never straight to the kernel.
    if (m_socket) {
        if (m_socket->write(message) < 0)
            return false;
        m_socket->flush();
        return true;
    }
    const ssize_t written = ::send(m_descriptor, message.constData(),
                                   static_cast<std::size_t>(message.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        reportLater(SocketErrors::numberOfErrno(errno));
        return false;
    }
    const qsizetype sent = std::max<ssize_t>(written, 0);
    if (sent == message.size())
        return true;
    // The rest leaves when the kernel has room; the message still counts as one write.
    m_unsent = message.mid(sent);
    m_writable = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Write);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &ClientConnection::onWritable);
    return true;
}

void ClientConnection::onWritable() {
    const ssize_t written = ::send(m_descriptor, m_unsent.constData(),
                                   static_cast<std::size_t>(m_unsent.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return;
        m_writable->setEnabled(false);
        m_ended = true;
        emit failed(m_index, SocketErrors::numberOfErrno(errno));
        return;
    }
    m_unsent.remove(0, written);
    if (!m_unsent.isEmpty())
        return;
    m_unsent = QByteArray();
    // Deleted later: this runs inside the notifier's own activation.
    m_writable->setEnabled(false);
    m_writable.release()->deleteLater();
    onBytesWritten();
}

void ClientConnection::reportLater(int number) {
    m_ended = true;
    m_readable->setEnabled(false);
    // As a socket reports a failed write: from the event loop, never inside the caller's send.
    QMetaObject::invokeMethod(
        this,
        [this, number] {
            if (!m_shutDown)
                emit failed(m_index, number);
        },
        Qt::QueuedConnection);
}

void ClientConnection::onBytesWritten() {
    if (!m_writing || !m_unsent.isEmpty() || (m_socket && m_socket->bytesToWrite() > 0))
        return;
    m_writing = false;
    m_sinceHandedOver.start();
    writeNext();
}

void ClientConnection::onReadable() {
    if (m_shutDown || m_ended)
        return;
    if (m_socket) {
        const qint64 available = m_socket->bytesAvailable();
        if (available > InboundSplitter::kMaxArrivalBytes) {
            m_socket->skip(available);
            m_splitter.discard();
            return;
        }
        // Exactly what arrived: readAll() would take a block of the buffer's chunk size for every arrival.
        deliver(m_splitter.feed(m_socket->read(available)));
        return;
    }
    // One byte above the largest arrival that is handled, so a larger one shows as such.
    static std::array<char, InboundSplitter::kMaxArrivalBytes + 1> buffer;
    const ssize_t got = ::recv(m_descriptor, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return;
        m_ended = true;
        m_readable->setEnabled(false);
        emit failed(m_index, SocketErrors::numberOfErrno(errno));
        return;
    }
    if (got == 0) {
        end();
        return;
    }
    if (got > InboundSplitter::kMaxArrivalBytes) {
        m_splitter.discard();
        return;
    }
    deliver(m_splitter.feed(QByteArray(buffer.data(), got)));
}

void ClientConnection::deliver(const QStringList& messages) {
    for (const QString& message : messages) {
        if (m_shutDown)
            return;
        emit messageReceived(m_index, message);
    }
}

void ClientConnection::shutDown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_queue.clear();
    m_spacing.stop();
    m_splitter.discard();
    m_splitter.disconnect(this);
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        return;
    }
    m_readable->setEnabled(false);
    if (m_writable)
        m_writable->setEnabled(false);
}

} // namespace kestrava
