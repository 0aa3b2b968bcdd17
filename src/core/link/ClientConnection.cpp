#include "link/ClientConnection.h"

#include "link/SocketErrors.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTcpSocket>
#include <sys/socket.h>

namespace kestrava {

ClientConnection::ClientConnection(int index, QTcpSocket* socket, Timing timing, QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_socket(socket)
    , m_timing(timing)
    , m_splitter(timing.identificationWait)
    , m_plain(!qobject_cast<QSslSocket*>(socket)) {
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // One byte above the largest arrival that is handled, so a larger one shows as such.
    m_socket->setReadBufferSize(InboundSplitter::kMaxArrivalBytes + 1);
    m_spacing.setSingleShot(true);
    m_spacing.setTimerType(Qt::PreciseTimer);
    connect(&m_spacing, &QTimer::timeout, this, &ClientConnection::writeNext);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ClientConnection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { emit closed(m_index); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        emit failed(m_index, SocketErrors::numberOf(error));
    });
    connect(&m_splitter, &InboundSplitter::identificationTimedOut, this,
            [this](const QString& message) { deliver({message}); });
}

ClientConnection::~ClientConnection() = default;

bool ClientConnection::isConnected() const {
    return !m_failed && !m_shutDown && m_socket->state() == QAbstractSocket::ConnectedState;
}

QString ClientConnection::remoteAddress() const {
    const QHostAddress peer = m_socket->peerAddress();
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
    if (m_shutDown || m_writing || m_queue.empty())
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
    // Straight to the kernel when nothing waits in the socket's buffer: a buffered write leaves the
    // buffer's chunk of many kilobytes behind in every connection that ever sent anything.
    qint64 sent = 0;
    if (m_socket->bytesToWrite() == 0 && m_plain) {
        const ssize_t written = ::send(static_cast<int>(m_socket->socketDescriptor()), message.constData(),
                                       static_cast<std::size_t>(message.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written == message.size())
            return true;
        sent = std::max<ssize_t>(written, 0);
    }
    // What the kernel did not take, and any error, goes through the socket as before.
    if (m_socket->write(message.constData() + sent, message.size() - sent) < 0)
        return false;
    m_socket->flush();
    return true;
}

void ClientConnection::onBytesWritten() {
    if (!m_writing || m_socket->bytesToWrite() > 0)
        return;
    m_writing = false;
    m_sinceHandedOver.start();
    writeNext();
}

void ClientConnection::onReadyRead() {
    if (m_shutDown)
        return;
    const qint64 available = m_socket->bytesAvailable();
    if (available > InboundSplitter::kMaxArrivalBytes) {
        m_socket->skip(available);
        m_splitter.discard();
        return;
    }
    // Exactly what arrived: readAll() would take a block of the buffer's chunk size for every arrival.
    deliver(m_splitter.feed(m_socket->read(available)));
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
    m_socket->disconnect(this);
    m_splitter.disconnect(this);
    m_socket->abort();
    deleteLater();
}

} // namespace kestrava
