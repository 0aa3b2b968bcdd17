#include "core/link/ClientConnection.h"

#include "core/link/PlainTransport.h"
#include "core/link/SocketErrors.h"

#include <QDebug>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrava {

ClientConnection::ClientConnection(int index, qintptr descriptor, Timing timing, QObject* parent)
    : ClientConnection(index, descriptor, std::make_unique<PlainTransport>(static_cast<int>(descriptor)), {},
                       timing, parent) {}

ClientConnection::ClientConnection(int index, qintptr descriptor, std::unique_ptr<Transport> transport,
                                   const QByteArray& presentedKey, Timing timing, QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_descriptor(static_cast<int>(descriptor))
    , m_timing(timing)
    , m_transport(std::move(transport))
    , m_presentedKey(presentedKey)
    , m_readable(std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read))
    , m_splitter(timing.identificationWait) {
    ::fcntl(m_descriptor, F_SETFL, ::fcntl(m_descriptor, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(m_descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &ClientConnection::onReadable);
    setUp();
    // What came with the end of a TLS handshake is out of the kernel already: no notifier announces it.
    if (m_transport->hasBuffered())
        QMetaObject::invokeMethod(this, &ClientConnection::onReadable, Qt::QueuedConnection);
}

void ClientConnection::setUp() {
    m_spacing.setSingleShot(true);
    m_spacing.setTimerType(Qt::PreciseTimer);
    connect(&m_spacing, &QTimer::timeout, this, &ClientConnection::writeNext);
    connect(&m_splitter, &InboundSplitter::identificationTimedOut, this,
            [this](const QString& message) { deliver({message}); });
}

ClientConnection::~ClientConnection() {
    m_transport.reset();
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
    return !m_failed && !m_shutDown && !m_ended;
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
    const Transport::Result result = m_transport->send(message.constData(), message.size());
    if (result.status == Transport::Status::Failed) {
        if (result.error == 0)
            failStream();
        else
            reportLater(SocketErrors::numberOfErrno(result.error));
        return false;
    }
    if (result.bytes == message.size())
        return true;
    // The rest leaves when the kernel has room; the message still counts as one write.
    m_unsent = message.mid(result.bytes);
    m_writable = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Write);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &ClientConnection::onWritable);
    return true;
}

void ClientConnection::onWritable() {
    const Transport::Result result = m_transport->send(m_unsent.constData(), m_unsent.size());
    if (result.status == Transport::Status::Failed) {
        m_writable->setEnabled(false);
        if (result.error == 0) {
            failStream();
            return;
        }
        m_ended = true;
        emit failed(m_index, SocketErrors::numberOfErrno(result.error));
        return;
    }
    m_unsent.remove(0, result.bytes);
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
    if (!m_writing || !m_unsent.isEmpty())
        return;
    m_writing = false;
    m_sinceHandedOver.start();
    writeNext();
}

void ClientConnection::onReadable() {
    if (m_shutDown || m_ended)
        return;
    // One byte above the largest arrival that is handled, so a larger one shows as such.
    static std::array<char, InboundSplitter::kMaxArrivalBytes + 1> buffer;
    const auto capacity = static_cast<qsizetype>(buffer.size());
    qsizetype got = 0;
    Transport::Result result;
    // TLS gives a record at a time: what it holds already belongs to this arrival. Bounded, so that a
    // peer that never stops sending cannot hold the loop.
    for (int record = 0; record < kMaxRecordsPerArrival && got < capacity; ++record) {
        result = m_transport->receive(buffer.data() + got, capacity - got);
        got += result.bytes;
        if (result.status != Transport::Status::Done || !m_transport->hasBuffered())
            break;
    }
    if (got > InboundSplitter::kMaxArrivalBytes) {
        m_splitter.discard();
        return;
    }
    if (got > 0)
        deliver(m_splitter.feed(QByteArray(buffer.data(), got)));
    if (m_shutDown || m_ended)
        return;
    switch (result.status) {
    case Transport::Status::Closed:
        end();
        return;
    case Transport::Status::Failed:
        if (result.error == 0) {
            failStream();
            return;
        }
        m_ended = true;
        m_readable->setEnabled(false);
        emit failed(m_index, SocketErrors::numberOfErrno(result.error));
        return;
    default:
        return;
    }
}

void ClientConnection::failStream() {
    qWarning().noquote() << QStringLiteral("kestrava: authenticated port: connection from %1 closed: %2")
                                .arg(remoteAddress(), m_transport->failure());
    reportLater(SocketErrors::kConnectionReset);
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
    m_readable->setEnabled(false);
    if (m_writable)
        m_writable->setEnabled(false);
}

} // namespace kestrava
