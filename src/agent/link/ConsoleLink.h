#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace kestrava {
struct TlsIdentity;
}

namespace kestrava::agent {

// The agent's one connection to the console: identification, reconnect with back-off, spaced
// one-message writes and the splitting of what the console sends into whole messages. With a pinned
// console key it speaks TLS only and sends nothing before the console's certificate has passed.
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

    ConsoleLink(QString host, quint16 port, QString identifier, QString name, QObject* parent = nullptr);
    ~ConsoleLink() override;

    // Before start: TLS only, presenting own, to a console whose certificate has the SHA-256 consolePin.
    void useTls(const TlsIdentity& own, const QByteArray& consolePin);
    void start();
    void stop();
    // Queued; leaves as one write at least kSpacingMs after the previous one.
    void send(const QString& message);
    bool isConnected() const;
    QString consoleText() const;
    QHostAddress peerAddress() const { return m_socket->peerAddress(); }

signals:
    void connected();
    void disconnected();
    void messageReceived(const QString& message);

private:
    void connectNow();
    // Makes the socket, a QSslSocket with a pin: a plain link loads no TLS at all.
    void makeSocket();
    void onConnected();
    void onEncrypted();
    void onClosed();
    void onReadyRead();
    void split(bool final);
    void dropRest(const QString& problem);
    void scheduleRetry();
    void sendNext();

    QString m_host;
    quint16 m_port;
    QString m_identifier;
    QString m_name;
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_consolePin; // empty: plain TCP
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
