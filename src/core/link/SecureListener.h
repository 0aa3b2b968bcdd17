#pragma once

#include "tls/TlsIdentity.h"

#include <QHash>
#include <QHostAddress>
#include <QSslServer>
#include <QString>
#include <QStringList>
#include <chrono>

class QSslSocket;

namespace kestrava {

class ConnectionManager;
class Database;

// The authenticated port: a TLS listener with the console's own key that hands each socket, once its
// handshake is done and its certificate is acceptable, to the ConnectionManager like a plain one. The
// messages inside are those of the plain port. From its arrival until its handshake ends a connection
// counts as an unidentified connection of its address; one that fails, stalls or shows no usable
// certificate is closed with one log line, and nothing is ever sent on this port outside TLS.
class SecureListener : public QSslServer {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kHandshakeTimeout{10000};

    explicit SecureListener(ConnectionManager& connections, QObject* parent = nullptr);
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
    void setHandshakeTimeout(std::chrono::milliseconds timeout);

    // Listens on port with the identity set before. On failure returns false and keeps
    // "number: description" in listenError().
    bool listen(int port);
    // Opens the authenticated port on its setting and, unless client services are accepted only over it,
    // the plain one. Returns the failures, each "number: description"; the console goes on without the
    // port that failed.
    QStringList openPorts(Database& db);
    // "Accept client services only over the authenticated link", at once: the plain port closes or opens
    // again. An empty result or "number: description".
    QString setSecureOnly(bool on);
    QString listenError() const { return m_listenError; }
    quint16 listeningPort() const { return serverPort(); }
    // Connections from address whose handshake has not ended.
    int handshakingFrom(const QHostAddress& address) const { return m_handshakeCount.value(address); }

signals:
    // One line for each connection refused on this port.
    void refused(const QString& line);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void watch(QSslSocket* socket);
    void onEncrypted();
    // Once per socket: a handshake ends either here or in onEncrypted.
    void refuse(QSslSocket* socket, const QString& why);
    void report(const QHostAddress& address, const QString& why);
    // The address the socket was counted for; null when it is not counted (any more).
    QHostAddress forget(QSslSocket* socket);

    ConnectionManager& m_connections;
    TlsIdentity m_identity;
    std::chrono::milliseconds m_handshakeTimeout{kHandshakeTimeout};
    QString m_listenError;
    QHash<QSslSocket*, QHostAddress> m_handshaking;
    QHash<QHostAddress, int> m_handshakeCount;
};

} // namespace kestrava
