#include "agent/link/ConsoleLink.h"

#include "protocol/ConsoleSplitter.h"
#include "protocol/Identification.h"
#include "protocol/WireCodec.h"
#include "tls/Fingerprint.h"
#include "tls/PeerCheck.h"
#include "tls/TlsIdentity.h"

#include <QLoggingCategory>
#include <QScopedValueRollback>
#include <QSslConfiguration>
#include <QSslSocket>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

Q_LOGGING_CATEGORY(lcLink, "kestrava.agent.link")

namespace kestrava::agent {

namespace {

// A console that vanished without closing (power cut, cable) is noticed within about a minute and a half.
void enableKeepAlive(qintptr descriptor) {
    const int on = 1, idle = 60, interval = 10, count = 3;
    ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

QString firstBytes(const QString& text) {
    return QString::fromLatin1(WireCodec::encode(text.left(24)).toHex(' '));
}

} // namespace

ConsoleLink::ConsoleLink(QString host, quint16 port, QString identifier, QString name, QObject* parent)
    : QObject(parent)
    , m_host(std::move(host))
    , m_plainPort(port)
    , m_port(port)
    , m_identifier(std::move(identifier))
    , m_name(std::move(name)) {
    m_retryTimer.setSingleShot(true);
    m_connectTimer.setSingleShot(true);
    m_spacingTimer.setSingleShot(true);
    m_incompleteTimer.setSingleShot(true);
    m_continuationTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &ConsoleLink::connectNow);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        qCInfo(lcLink).noquote() << (m_socket->state() == QAbstractSocket::ConnectedState
                                         ? "no TLS handshake with"
                                         : "no answer from")
                                 << consoleText() << "within" << kConnectTimeoutMs / 1000 << "s";
        onClosed();
    });
    connect(&m_spacingTimer, &QTimer::timeout, this, &ConsoleLink::sendNext);
    connect(&m_incompleteTimer, &QTimer::timeout, this, [this] { split(true); });
    connect(&m_continuationTimer, &QTimer::timeout, this, [this] { split(true); });
    makeSocket();
}

ConsoleLink::~ConsoleLink() {
    // The socket outlives the timers; what it emits while closing must not reach them.
    m_socket->disconnect(this);
}

void ConsoleLink::makeSocket() {
    if (m_tlsPort == 0) {
        m_socket = std::make_unique<QTcpSocket>();
    } else {
        auto socket = std::make_unique<QSslSocket>();
        connect(socket.get(), &QSslSocket::encrypted, this, &ConsoleLink::onEncrypted);
        m_socket = std::move(socket);
    }
    connect(m_socket.get(), &QTcpSocket::connected, this, [this] {
        if (!isEncrypted())
            onConnected();
        else
            m_connectTimer.start(kConnectTimeoutMs); // the handshake has its own time
    });
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &ConsoleLink::onClosed);
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // Only a console without a TLS port refuses it; one that accepts and then fails is no reason.
        if (error == QAbstractSocket::ConnectionRefusedError && isEncrypted() && !isPinned()) {
            QMetaObject::invokeMethod(this, &ConsoleLink::connectPlain, Qt::QueuedConnection);
            return;
        }
        // A TLS record that fails its check leaves the socket connected but useless: end it.
        if (!m_established || m_socket->state() != QAbstractSocket::ConnectedState || isEncrypted())
            onClosed();
    });
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &ConsoleLink::onReadyRead);
    // A write that had to wait for the socket: the next message follows once it has left.
    connect(m_socket.get(), &QTcpSocket::bytesWritten, this, [this] {
        if (!m_spacingTimer.isActive())
            sendNext();
    });
}

void ConsoleLink::setIdentity(const TlsIdentity& own, quint16 tlsPort) {
    m_tlsPort = tlsPort;
    m_port = tlsPort;
    makeSocket();
    auto* socket = static_cast<QSslSocket*>(m_socket.get());
    socket->setLocalCertificate(own.certificate);
    socket->setPrivateKey(own.key);
    // Both sides have self-signed certificates: no chain to verify, the pin is the whole check.
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    // The socket keeps the console's last session ticket: reconnecting to the same running console
    // resumes (with a fresh key exchange) instead of a full handshake; any other console makes a full one.
    QSslConfiguration configuration = socket->sslConfiguration();
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    socket->setSslConfiguration(configuration);
}

void ConsoleLink::useTls(const TlsIdentity& own, quint16 tlsPort, const QByteArray& pin) {
    setIdentity(own, tlsPort);
    m_pin = pin;
}

void ConsoleLink::useTls(const TlsIdentity& own, quint16 tlsPort, ConsolePin store) {
    setIdentity(own, tlsPort);
    m_store = std::move(store);
    m_pin = m_store->load(&m_pinProblem);
    logPin();
}

void ConsoleLink::logPin() const {
    if (!m_pinProblem.isEmpty())
        qCWarning(lcLink).noquote() << m_pinProblem << "- every console is refused until"
                                    << "kestrava-agent --forget-console clears it";
    else if (!m_pin.isEmpty())
        qCInfo(lcLink).noquote() << "console key pinned at its first contact:" << Fingerprint::text(m_pin);
    else
        qCInfo(lcLink).noquote() << "no console key pinned: the first console to pass its TLS handshake on"
                                 << "port" << m_tlsPort << "is pinned";
}

QList<quint16> ConsoleLink::allowedPorts() const {
    if (m_tlsPort == 0)
        return {m_plainPort};
    if (isPinned())
        return {m_tlsPort};
    return {m_tlsPort, m_plainPort};
}

void ConsoleLink::reloadPin() {
    if (!m_store)
        return;
    QString problem;
    if (m_pinUnsaved) {
        m_pinUnsaved = !m_store->save(m_pin, &problem);
        return;
    }
    const QByteArray pin = m_store->load(&problem);
    if (pin == m_pin && problem == m_pinProblem)
        return;
    m_pin = pin;
    m_pinProblem = problem;
    logPin();
    emit pinChanged();
}

void ConsoleLink::pinFirstKey(const QSslCertificate& certificate) {
    m_pin = Fingerprint::of(certificate);
    QString error;
    m_pinUnsaved = !m_store->save(m_pin, &error);
    if (m_pinUnsaved)
        qCWarning(lcLink).noquote() << error
                                    << "- the console's key is pinned for this run and saved again at"
                                    << "the next connection";
    emit pinChanged();
}

void ConsoleLink::start() {
    m_running = true;
    connectNow();
}

void ConsoleLink::stop() {
    m_running = false;
    m_retryTimer.stop();
    m_connectTimer.stop();
    m_socket->abort();
}

bool ConsoleLink::isConnected() const {
    return m_established && m_socket->state() == QAbstractSocket::ConnectedState;
}

QString ConsoleLink::consoleText() const {
    return QStringLiteral("%1:%2").arg(m_host).arg(m_port);
}

void ConsoleLink::connectNow() {
    if (!m_running || m_socket->state() != QAbstractSocket::UnconnectedState)
        return;
    m_connectTimer.start(kConnectTimeoutMs);
    if (m_tlsPort == 0) {
        m_socket->connectToHost(m_host, m_port);
        return;
    }
    reloadPin();
    m_plainAttempt = false;
    m_port = m_tlsPort;
    static_cast<QSslSocket*>(m_socket.get())->connectToHostEncrypted(m_host, m_port);
}

void ConsoleLink::connectPlain() {
    if (!m_running || m_socket->state() != QAbstractSocket::UnconnectedState)
        return;
    // At every attempt: the next one tries TLS first again.
    qCInfo(lcLink).noquote() << "the console's TLS port" << m_port
                             << "refuses the connection and no console key"
                             << "is pinned yet: plain TCP to port" << m_plainPort << "this time";
    m_plainAttempt = true;
    m_port = m_plainPort;
    m_connectTimer.start(kConnectTimeoutMs);
    m_socket->connectToHost(m_host, m_port);
}

void ConsoleLink::onEncrypted() {
    const QSslCertificate certificate = static_cast<QSslSocket*>(m_socket.get())->peerCertificate();
    m_refusal = !m_pinProblem.isEmpty()
                    ? m_pinProblem
                    : PeerCheck::refusal(certificate, m_pin, QDateTime::currentDateTimeUtc());
    if (!m_refusal.isEmpty()) {
        onClosed();
        return;
    }
    if (m_pin.isEmpty())
        pinFirstKey(certificate);
    onConnected();
}

void ConsoleLink::onConnected() {
    m_connectTimer.stop();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    enableKeepAlive(m_socket->socketDescriptor());
    m_buffer.clear();
    m_queue.clear();
    m_heardSinceConnect = false;
    m_established = true;
    if (isEncrypted())
        qCInfo(lcLink).noquote() << "connected to" << consoleText() << "over TLS, console key"
                                 << Fingerprint::text(m_pin) << "as" << m_identifier << m_name;
    else
        qCInfo(lcLink).noquote() << "connected to" << consoleText() << "as" << m_identifier << m_name;
    send(encodeIdentification({m_identifier, m_name, QStringLiteral("1.4")}));
    emit connected();
}

void ConsoleLink::onClosed() {
    // Aborting below emits the socket's own signals, which lead back here.
    if (m_closing)
        return;
    const QScopedValueRollback closing(m_closing, true);
    m_connectTimer.stop();
    m_incompleteTimer.stop();
    m_continuationTimer.stop();
    m_queue.clear();
    m_buffer.clear();
    const bool wasConnected = m_heardSinceConnect || m_established;
    m_heardSinceConnect = false;
    m_established = false;
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    if (wasConnected) {
        qCInfo(lcLink).noquote() << "connection to" << consoleText() << "closed";
        emit disconnected();
    } else if (!m_refusal.isEmpty()) {
        // At every attempt: a wrong key is a fault to see, not an outage.
        qCWarning(lcLink).noquote() << "refused the console at" << consoleText() + QStringLiteral(":")
                                    << m_refusal;
        m_refusal.clear();
    } else if (m_retryMs == kFirstRetryMs && m_running) {
        // Once per outage, not at every attempt.
        qCInfo(lcLink).noquote() << "cannot reach the console at" << consoleText() + QStringLiteral(":")
                                 << m_socket->errorString() << "- trying again with growing pauses up to"
                                 << kLastRetryMs / 1000 << "s";
    }
    scheduleRetry();
}

void ConsoleLink::scheduleRetry() {
    if (!m_running || m_retryTimer.isActive())
        return;
    // Jitter keeps a room full of computers from calling back at the same instant after a restart.
    const int jitter = QRandomGenerator::global()->bounded(m_retryMs / 4 + 1);
    m_retryTimer.start(m_retryMs + jitter);
    m_retryMs = std::min(m_retryMs * 2, kLastRetryMs);
}

void ConsoleLink::send(const QString& message) {
    if (!isConnected())
        return;
    m_queue.append(message);
    if (!m_spacingTimer.isActive() && m_socket->bytesToWrite() == 0)
        sendNext();
}

void ConsoleLink::sendNext() {
    if (m_queue.isEmpty() || !isConnected() || m_socket->bytesToWrite() > 0)
        return;
    // Started first: flush() emits bytesWritten at once, and that must not send the next message too.
    m_spacingTimer.start(kSpacingMs);
    m_socket->write(WireCodec::encodeUtf16(m_queue.takeFirst()));
    m_socket->flush();
}

void ConsoleLink::onReadyRead() {
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    if (m_buffer.isEmpty())
        m_incompleteTimer.start(kIncompleteMs);
    m_buffer += WireCodec::decodeSingleByte(bytes);
    split(false);
}

void ConsoleLink::split(bool final) {
    const SplitResult result = splitConsoleMessages(m_buffer, final);
    const QStringList messages = result.messages;
    m_buffer.remove(0, result.consumed);
    m_continuationTimer.stop();
    if (!messages.isEmpty()) {
        if (!m_heardSinceConnect)
            m_retryMs = kFirstRetryMs;
        m_heardSinceConnect = true;
        m_incompleteTimer.start(kIncompleteMs);
    }
    switch (result.rest) {
    case SplitResult::Rest::Empty:
        m_incompleteTimer.stop();
        break;
    case SplitResult::Rest::Incomplete:
        break;
    case SplitResult::Rest::MaybeComplete:
        m_continuationTimer.start(kContinuationMs);
        break;
    case SplitResult::Rest::Bad:
        dropRest(result.problem);
        break;
    }
    for (const QString& message : messages) {
        if (!isConnected())
            break;
        emit messageReceived(message);
    }
}

void ConsoleLink::dropRest(const QString& problem) {
    qCWarning(lcLink).noquote()
        << QStringLiteral("dropped what the console sent (%1); first bytes:").arg(problem)
        << firstBytes(m_buffer);
    m_buffer.clear();
    m_incompleteTimer.stop();
}

} // namespace kestrava::agent
