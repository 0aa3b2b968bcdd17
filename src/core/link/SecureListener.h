#pragma once

#include "tls/TlsIdentity.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSslServer>
#include <QString>
#include <chrono>

class QSslSocket;

namespace kestrava {

class ConnectionManager;

// The authenticated port: a TLS listener with the console's own key that hands each socket, once its
// handshake is done and its certificate is acceptable, to the ConnectionManager like a plain one. The
// messages inside are those of the plain port. A handshake counts as an unidentified connection of its
// address until it ends; one that fails, stalls or shows no usable certificate is closed with one log
// line, and nothing is ever sent on this port outside TLS.
class SecureListener : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kHandshakeTimeout{10000};

    SecureListener(ConnectionManager& connections, QObject* parent = nullptr);
    ~SecureListener() override;

    // The console's key and certificate, beside the database: "<folder>/kestrava.key" and
    // "<folder>/kestrava.crt".
    static QString keyFileFor(const QString& databasePath);
    static QString certificateFileFor(const QString& databasePath);
    // The fingerprint of the certificate beside the database as "AB:CD:…", empty when there is none.
    static QString fingerprintBeside(const QString& databasePath);

    // For handshakes started from now on.
    void setIdentity(const TlsIdentity& identity);
    const TlsIdentity& identity() const { return m_identity; }
    void setHandshakeTimeout(std::chrono::milliseconds timeout) { m_handshakeTimeout = timeout; }

    // Listens on port with the identity set before. On failure returns false and keeps
    // "number: description" in listenError().
    bool listen(int port);
    void close();
    QString listenError() const { return m_listenError; }
    bool isListening() const { return m_server.isListening(); }
    quint16 listeningPort() const { return m_server.serverPort(); }
    // Handshakes now under way from address.
    int handshakingFrom(const QHostAddress& address) const { return m_handshakeCount.value(address); }

signals:
    // One line for each connection refused on this port.
    void refused(const QString& line);

private:
    void onHandshakeStarted(QSslSocket* socket);
    void onEncrypted();
    // Once per socket: handshakes end either here or in onEncrypted.
    void refuse(QSslSocket* socket, const QString& why);
    void drop(QSslSocket* socket, const QString& why);
    void forget(QSslSocket* socket);

    ConnectionManager& m_connections;
    QSslServer m_server;
    TlsIdentity m_identity;
    std::chrono::milliseconds m_handshakeTimeout{kHandshakeTimeout};
    QString m_listenError;
    QHash<QSslSocket*, QHostAddress> m_handshaking;
    QHash<QHostAddress, int> m_handshakeCount;
};

} // namespace kestrava
