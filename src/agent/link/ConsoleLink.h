#pragma once

#include "agent/state/ConsolePin.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <optional>

class QSslCertificate;

namespace kestrava {
struct TlsIdentity;
}

namespace kestrava::agent {

// The agent's one connection to the console: identification, reconnect with back-off, spaced
// one-message writes and the splitting of what the console sends into whole messages. With a key of its
// own it tries TLS first and sends nothing before the console's certificate has passed; once a console
// key is pinned (configured, or at the first handshake) it speaks TLS only.
class ConsoleLink : public QObject {
    Q_OBJECT

public:
    static constexpr int kSpacingMs = 50;
    static constexpr int kIncompleteMs = 2000;
    // How long a message that may be complete waits for a continuation before it is taken as it is.
    static constexpr int kContinuationMs = 300;
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;

    // Plain TCP to port until useTls.
    ConsoleLink(QString host, quint16 port, QString identifier, QString name, QObject* parent = nullptr);
    ~ConsoleLink() override;

    // Before start: TLS only, to tlsPort, presenting own, to a console whose certificate has the SHA-256
    // pin (configured).
    void useTls(const TlsIdentity& own, quint16 tlsPort, const QByteArray& pin);
    // Before start: TLS to tlsPort, presenting own, the console's key pinned in store at the first
    // handshake that passes the certificate's other checks. While nothing is pinned, an attempt whose TLS
    // port refuses the connection goes on in plain TCP to the constructor's port.
    void useTls(const TlsIdentity& own, quint16 tlsPort, ConsolePin store);
    void start();
    void stop();
    // Queued; leaves as one write at least kSpacingMs after the previous one.
    void send(const QString& message);
    bool isConnected() const;
    QString consoleText() const;
    QHostAddress peerAddress() const { return m_socket->peerAddress(); }
    // The console's ports that this link may use from now on: the TLS port alone once a key is pinned.
    QList<quint16> allowedPorts() const;

signals:
    // allowedPorts() changed: a key was pinned or the pin was cleared.
    void pinChanged();
    void connected();
    void disconnected();
    void messageReceived(const QString& message);

private:
    void connectNow();
    void connectPlain();
    // Makes the socket, a QSslSocket with TLS: a plain link loads no TLS at all.
    void makeSocket();
    void setIdentity(const TlsIdentity& own, quint16 tlsPort);
    bool isPinned() const { return !m_pin.isEmpty() || !m_pinProblem.isEmpty(); }
    // This attempt is over TLS.
    bool isEncrypted() const { return m_tlsPort != 0 && !m_plainAttempt; }
    // Takes a pin cleared or changed in the store since the last attempt.
    void reloadPin();
    void logPin() const;
    void pinFirstKey(const QSslCertificate& certificate);
    void onConnected();
    void onEncrypted();
    void onClosed();
    void onReadyRead();
    void split(bool final);
    void dropRest(const QString& problem);
    void scheduleRetry();
    void sendNext();

    QString m_host;
    quint16 m_plainPort;
    quint16 m_tlsPort = 0; // 0: plain TCP only
    quint16 m_port;        // of the current or last attempt
    QString m_identifier;
    QString m_name;
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_pin;                  // the console's SHA-256; empty: none yet
    QString m_pinProblem;              // the store's pin cannot be read: every console is refused
    std::optional<ConsolePin> m_store; // unset with a configured pin
    bool m_pinUnsaved = false;         // pinned for this run only: saved again at the next attempt
    bool m_plainAttempt = false;
    QTimer m_retryTimer;
    QTimer m_connectTimer;
    QTimer m_spacingTimer;
    QTimer m_incompleteTimer;
    QTimer m_continuationTimer;
    QStringList m_queue;
    QString m_buffer;
    int m_retryMs = kFirstRetryMs;
    bool m_running = false;
    bool m_heardSinceConnect = false;
    // Connected and, over TLS, the console's certificate accepted: only then is anything sent or read.
    bool m_established = false;
    bool m_closing = false;
    QString m_refusal; // why the console's certificate was refused at this attempt
};

} // namespace kestrava::agent
