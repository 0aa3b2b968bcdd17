#include "link/SecureListener.h"

#include "link/ConnectionManager.h"
#include "link/SocketErrors.h"
#include "tls/Fingerprint.h"
#include "tls/PeerCheck.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kestrava {

namespace {

QString besideDatabase(const QString& databasePath, const QString& name) {
    return QFileInfo(databasePath).absoluteDir().filePath(name);
}

QString peerOf(const QSslSocket* socket) {
    bool mapped = false;
    const quint32 v4 = socket->peerAddress().toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4).toString() : socket->peerAddress().toString();
}

} // namespace

SecureListener::SecureListener(ConnectionManager& connections, QObject* parent)
    : QObject(parent)
    , m_connections(connections) {
    m_server.setListenBacklogSize(ConnectionManager::kListenBacklog);
    m_server.setMaxPendingConnections(ConnectionManager::kMaxPendingConnections);
    connect(&m_server, &QSslServer::startedEncryptionHandshake, this, &SecureListener::onHandshakeStarted);
    connect(&m_server, &QSslServer::pendingConnectionAvailable, this, &SecureListener::onEncrypted);
    connect(
        &m_server, &QSslServer::errorOccurred, this,
        [this](QSslSocket* socket, QAbstractSocket::SocketError) { refuse(socket, socket->errorString()); });
    connect(&m_server, &QSslServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        QTimer::singleShot(ConnectionManager::kAcceptRetry, this, [this] { m_server.resumeAccepting(); });
    });
}

SecureListener::~SecureListener() {
    // The server deletes the sockets still in their handshake; nothing here may hear of it.
    for (QSslSocket* socket : m_handshaking.keys())
        socket->disconnect(this);
    m_handshaking.clear();
}

QString SecureListener::keyFileFor(const QString& databasePath) {
    return besideDatabase(databasePath, u"kestrava.key"_s);
}

QString SecureListener::certificateFileFor(const QString& databasePath) {
    return besideDatabase(databasePath, u"kestrava.crt"_s);
}

QString SecureListener::fingerprintBeside(const QString& databasePath) {
    if (databasePath.isEmpty())
        return {};
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificateFileFor(databasePath));
    return certificates.isEmpty() ? QString() : Fingerprint::text(certificates.first());
}

void SecureListener::setIdentity(const TlsIdentity& identity) {
    m_identity = identity;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setLocalCertificate(identity.certificate);
    configuration.setPrivateKey(identity.key);
    // The client's certificate is asked for but not checked against authorities: both sides use
    // self-signed certificates, and PeerCheck and the pins decide.
    configuration.setPeerVerifyMode(QSslSocket::QueryPeer);
    m_server.setSslConfiguration(configuration);
    // Our own deadline logs the stall; the server's is only a backstop.
    m_server.setHandshakeTimeout(int(m_handshakeTimeout.count()) * 2);
}

bool SecureListener::listen(int port) {
    m_listenError.clear();
    if (!m_identity.isValid() || m_identity.certificate.isNull()) {
        m_listenError = m_identity.error.isEmpty() ? u"The console has no key for the authenticated port."_s
                                                   : m_identity.error;
    } else if (port <= 0 || port > 65535) {
        m_listenError = QString::number(SocketErrors::kOverflow) + u": Overflow"_s;
    } else if (!m_server.listen(QHostAddress::Any, static_cast<quint16>(port))) {
        m_listenError = QString::number(SocketErrors::numberOf(m_server.serverError())) + u": "_s +
                        m_server.errorString();
    }
    return m_listenError.isEmpty();
}

void SecureListener::close() {
    m_server.close();
}

void SecureListener::onHandshakeStarted(QSslSocket* socket) {
    const QHostAddress address = socket->peerAddress();
    m_handshaking.insert(socket, address);
    ++m_handshakeCount[address];
    connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
    if (m_handshakeCount.value(address) + m_connections.unidentifiedFrom(address) >
        m_connections.maxUnidentifiedPerAddress()) {
        // Deferred: the server is still setting the socket up.
        QTimer::singleShot(0, socket, [this, socket] {
            refuse(socket, u"too many unidentified connections from this address"_s);
        });
        return;
    }
    QTimer::singleShot(m_handshakeTimeout, socket, [this, socket] {
        refuse(socket, u"no handshake within %1 s"_s.arg(m_handshakeTimeout.count() / 1000.0));
    });
}

void SecureListener::onEncrypted() {
    while (QTcpSocket* next = m_server.nextPendingConnection()) {
        auto* socket = static_cast<QSslSocket*>(next);
        forget(socket);
        // From now on the socket belongs to its connection alone.
        socket->disconnect(&m_server);
        socket->disconnect(this);
        const QString refusal =
            PeerCheck::refusal(socket->peerCertificate(), {}, QDateTime::currentDateTimeUtc());
        if (!refusal.isEmpty()) {
            drop(socket, refusal);
            continue;
        }
        m_connections.accept(socket);
    }
}

void SecureListener::refuse(QSslSocket* socket, const QString& why) {
    if (!m_handshaking.contains(socket))
        return;
    forget(socket);
    socket->disconnect(this);
    drop(socket, why);
}

void SecureListener::drop(QSslSocket* socket, const QString& why) {
    const QString line =
        u"kestrava: authenticated port: connection from %1 refused: %2"_s.arg(peerOf(socket), why);
    qWarning().noquote() << line;
    emit refused(line);
    socket->abort();
    socket->deleteLater();
}

void SecureListener::forget(QSslSocket* socket) {
    const auto it = m_handshaking.constFind(socket);
    if (it == m_handshaking.cend())
        return;
    if (--m_handshakeCount[*it] <= 0)
        m_handshakeCount.remove(*it);
    m_handshaking.erase(it);
}

} // namespace kestrava
