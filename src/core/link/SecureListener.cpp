#include "core/link/SecureListener.h"

#include "core/link/ConnectionManager.h"
#include "core/link/SocketErrors.h"
#include "core/options/SecureLinkSettings.h"
#include "core/store/DatabaseError.h"
#include "tls/PeerCheck.h"

#include <QDateTime>
#include <QDebug>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kestrava {

namespace {

QString shown(const QHostAddress& address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

SecureListener::SecureListener(ConnectionManager& connections, QObject* parent)
    : QSslServer(parent)
    , m_connections(connections) {
    setListenBacklogSize(ConnectionManager::kListenBacklog);
    // The server counts its handshakes under way as pending connections.
    setMaxPendingConnections(kMaxHandshakes);
    setHandshakeTimeout(kHandshakeTimeout);
    connect(this, &QSslServer::pendingConnectionAvailable, this, &SecureListener::onEncrypted);
    connect(this, &QSslServer::errorOccurred, this,
            [this](QSslSocket* socket, QAbstractSocket::SocketError error) {
                refuse(socket, error == QAbstractSocket::SocketTimeoutError ? u"no handshake in time"_s
                                                                            : socket->errorString());
            });
    connect(this, &QSslServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        QTimer::singleShot(ConnectionManager::kAcceptRetry, this, [this] { resumeAccepting(); });
    });
}

SecureListener::~SecureListener() {
    // The sockets still in their handshake are deleted after this body; nothing here may hear of it.
    for (const Handshake& handshake : std::as_const(m_handshaking))
        QObject::disconnect(handshake.destroyed);
    m_handshaking.clear();
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
    // No authority is consulted, and loading the system's for every handshake costs milliseconds each.
    configuration.setCaCertificates({});
    setSslConfiguration(configuration);
}

void SecureListener::setHandshakeTimeout(std::chrono::milliseconds timeout) {
    m_handshakeTimeout = timeout;
    // Our own deadline logs the stall; the server's is only a backstop.
    QSslServer::setHandshakeTimeout(int(timeout.count()) * 2);
}

bool SecureListener::listen(int port) {
    m_listenError.clear();
    if (!m_identity.isValid() || m_identity.certificate.isNull()) {
        m_listenError = m_identity.error.isEmpty() ? u"The console has no key for the authenticated port."_s
                                                   : m_identity.error;
    } else if (port < 0 || port > 65535) {
        m_listenError = QString::number(SocketErrors::kOverflow) + u": Overflow"_s;
    } else if (!QSslServer::listen(QHostAddress::Any, static_cast<quint16>(port))) {
        m_listenError = QString::number(SocketErrors::numberOf(serverError())) + u": "_s + errorString();
    }
    return m_listenError.isEmpty();
}

QStringList SecureListener::openPorts(Database& db) {
    QStringList failures;
    bool secureOnly = false;
    try {
        secureOnly = SecureLinkSettings::secureOnly(db);
        if (!listen(SecureLinkSettings::securePort(db)))
            failures << m_listenError;
    } catch (const DatabaseError& error) {
        failures << error.toMessage();
    }
    if (const QString failure = setSecureOnly(secureOnly); !failure.isEmpty())
        failures << failure;
    return failures;
}

QString SecureListener::setSecureOnly(bool on) {
    if (on) {
        m_connections.stopListening();
        return {};
    }
    if (m_connections.isListening() || m_connections.Start_Listening())
        return {};
    return m_connections.listenError();
}

void SecureListener::incomingConnection(qintptr descriptor) {
    QSslServer::incomingConnection(descriptor);
    // The server makes the socket as its newest child; it shows it to nobody before the handshake ends.
    const QObjectList& sockets = children();
    for (auto it = sockets.crbegin(); it != sockets.crend(); ++it) {
        auto* socket = qobject_cast<QSslSocket*>(*it);
        if (socket && socket->socketDescriptor() == descriptor) {
            watch(socket);
            return;
        }
    }
}

void SecureListener::watch(QSslSocket* socket) {
    const QHostAddress address = socket->peerAddress();
    ++m_handshakeCount[address];
    // The server deletes a socket whose first bytes are not a handshake without a word.
    const QMetaObject::Connection destroyed = connect(socket, &QObject::destroyed, this, [this, socket] {
        if (const QHostAddress address = forget(socket); !address.isNull())
            report(address, u"the connection ended during its handshake"_s);
    });
    m_handshaking.insert(socket, {address, destroyed});
    if (m_handshakeCount.value(address) + m_connections.unidentifiedFrom(address) >
        m_connections.maxUnidentifiedPerAddress()) {
        refuse(socket, u"too many unidentified connections from this address"_s);
        return;
    }
    QTimer::singleShot(m_handshakeTimeout, socket, [this, socket] {
        refuse(socket, u"no handshake within %1 s"_s.arg(double(m_handshakeTimeout.count()) / 1000.0));
    });
}

void SecureListener::onEncrypted() {
    while (QTcpSocket* next = nextPendingConnection()) {
        auto* socket = static_cast<QSslSocket*>(next);
        // The server has let go of the socket; from now on it belongs to its connection alone.
        const QHostAddress address = forget(socket);
        const QString refusal =
            PeerCheck::refusal(socket->peerCertificate(), {}, QDateTime::currentDateTimeUtc());
        if (!refusal.isEmpty()) {
            report(address, refusal);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_connections.accept(socket);
        // What came with the end of the handshake was announced before the connection listened.
        if (socket->bytesAvailable() > 0)
            QMetaObject::invokeMethod(socket, &QIODevice::readyRead, Qt::QueuedConnection);
    }
}

void SecureListener::refuse(QSslSocket* socket, const QString& why) {
    const QHostAddress address = forget(socket);
    if (address.isNull())
        return;
    report(address, why);
    socket->abort();
    socket->deleteLater();
}

void SecureListener::report(const QHostAddress& address, const QString& why) {
    const QString line =
        u"kestrava: authenticated port: connection from %1 refused: %2"_s.arg(shown(address), why);
    qWarning().noquote() << line;
    emit refused(line);
}

QHostAddress SecureListener::forget(QSslSocket* socket) {
    const auto it = m_handshaking.constFind(socket);
    if (it == m_handshaking.cend())
        return {};
    const QHostAddress address = it->address;
    QObject::disconnect(it->destroyed);
    if (--m_handshakeCount[address] <= 0)
        m_handshakeCount.remove(address);
    m_handshaking.erase(it);
    // The server stops accepting at its limit and starts again only when a connection is taken.
    resumeAccepting();
    return address;
}

} // namespace kestrava
