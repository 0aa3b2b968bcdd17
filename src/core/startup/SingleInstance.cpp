#include "core/startup/SingleInstance.h"

#include "core/startup/CommandLine.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

namespace kestrava {

namespace {

constexpr int kConnectTimeoutMs = 400;
constexpr int kHandOverTimeoutMs = 900;
// A peer that sends nothing useful is dropped after this long.
constexpr int kPeerTimeoutMs = 2000;
// More than any UTF-8 form of a command line of kMaxCommandLineLength characters.
constexpr qsizetype kMaxReceivedBytes = 4 * kMaxCommandLineLength + 1;
constexpr char kCalledUp = 'S';
constexpr char kIgnored = 'N';

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent)
    , m_serverName(std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverNameFor(const QString& programPath) {
    const QByteArray hash = QCryptographicHash::hash(programPath.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/kestrava-") +
           QString::fromLatin1(hash.left(16));
}

bool SingleInstance::Is_Already_Running() {
    m_peer = std::make_unique<QLocalSocket>();
    m_peer->connectToServer(m_serverName);
    if (m_peer->waitForConnected(kConnectTimeoutMs))
        return true;
    const QLocalSocket::LocalSocketError error = m_peer->error();
    if (error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError) {
        m_peer.reset();
        return false;
    }
    // Someone holds the name but does not take the connection: a second console must not start.
    return true;
}

SingleInstance::HandOver SingleInstance::Send_Command_Line(const QString& text) {
    if (!m_peer || m_peer->state() != QLocalSocket::ConnectedState)
        return text.isEmpty() ? HandOver::NothingToSend : HandOver::Unreachable;
    if (text.isEmpty()) {
        m_peer->disconnectFromServer();
        return HandOver::NothingToSend;
    }
    const QDeadlineTimer deadline(kHandOverTimeoutMs);
    m_peer->write(Cut_Command_Line(text).toUtf8() + '\0');
    while (m_peer->bytesToWrite() > 0 && !deadline.hasExpired())
        if (!m_peer->waitForBytesWritten(int(deadline.remainingTime())))
            break;
    HandOver result = HandOver::Unreachable;
    if (m_peer->bytesToWrite() == 0 && m_peer->waitForReadyRead(int(deadline.remainingTime()))) {
        const QByteArray verdict = m_peer->read(1);
        if (verdict == QByteArray(1, kCalledUp))
            result = HandOver::CalledUp;
        else if (verdict == QByteArray(1, kIgnored))
            result = HandOver::Ignored;
    }
    m_peer->abort();
    return result;
}

int SingleInstance::exitCodeOf(HandOver result) {
    switch (result) {
    case HandOver::NothingToSend:
    case HandOver::CalledUp:
        return 0;
    case HandOver::Ignored:
        return 1;
    case HandOver::Unreachable:
        break;
    }
    return 2;
}

bool SingleInstance::listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (m_server->listen(m_serverName))
        return true;
    // Nobody answered on the name (Is_Already_Running), so what is left there is stale.
    QLocalServer::removeServer(m_serverName);
    return m_server->listen(m_serverName);
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_received.remove(socket);
            socket->deleteLater();
        });
        QTimer::singleShot(kPeerTimeoutMs, socket, &QLocalSocket::abort);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket) {
    QByteArray& received = m_received[socket];
    received += socket->readAll();
    const qsizetype zero = received.indexOf('\0');
    if (zero < 0) {
        if (received.size() > kMaxReceivedBytes)
            socket->abort();
        return;
    }
    const QString text = Cut_Command_Line(QString::fromUtf8(received.left(zero)));
    m_received.remove(socket);
    // The handler may open a window with its own event loop; the socket may be gone when it returns.
    const QPointer<QLocalSocket> guard(socket);
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    const bool calledUp = m_handler && m_handler(text);
    if (!guard)
        return;
    socket->write(QByteArray(1, calledUp ? kCalledUp : kIgnored));
    socket->disconnectFromServer();
}

} // namespace kestrava
