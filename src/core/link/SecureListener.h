#pragma once

#include "core/link/ConnectionManager.h"
#include "core/link/DescriptorServer.h"
#include "tls/TlsIdentity.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <deque>
#include <memory>
#include <unordered_map>

namespace kestrava {

class Database;
class TlsContext;
class TlsTransport;

// The authenticated port: a TLS listener with the console's own key that hands each connection, once
// its handshake is done and its certificate is acceptable, to the ConnectionManager like a plain one.
// The messages inside are those of the plain port. Every connection shares one TLS context, made when
// the identity is set, and resumes its session from a ticket when it reconnects to the same running
// console. From its arrival until its handshake ends a connection counts as an unidentified connection
// of its address; one that fails, stalls or shows no usable certificate is closed with one log line,
// and nothing is ever sent on this port outside TLS.
class SecureListener : public DescriptorServer {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kHandshakeTimeout{10000};
    // Handshakes under way at most; further connections wait, unread, until one ends. A storm of
    // thousands would otherwise advance every handshake a little and finish none in time.
    static constexpr int kMaxHandshakes = 64;
    // Handshakes under way from one address at most: a computer whose connections stall cannot keep
    // the others waiting. Its further connections wait behind them.
    static constexpr int kMaxHandshakesPerAddress = 8;
    // Connections waiting for their handshake at most, one for each slot of the connection table; beyond
    // it, further ones wait in the kernel's queue.
    static constexpr int kMaxWaiting = ConnectionManager::kMaxSocketIndex;

    explicit SecureListener(ConnectionManager& connections, QObject* parent = nullptr);
    ~SecureListener() override;

    // For handshakes started from now on.
    void setIdentity(const TlsIdentity& identity);
    const TlsIdentity& identity() const { return m_identity; }
    void setHandshakeTimeout(std::chrono::milliseconds timeout) { m_handshakeTimeout = timeout; }

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
    // Connections from address whose handshake has not ended, those waiting for it included.
    int handshakingFrom(const QHostAddress& address) const { return m_handshakeCount.value(address); }
    // Handshakes completed since the start, and how many of them resumed a session.
    quint64 handshakesDone() const { return m_handshakesDone; }
    quint64 handshakesResumed() const { return m_handshakesResumed; }

signals:
    // One line for each connection refused on this port.
    void refused(const QString& line);

private:
    struct Handshake {
        quint64 id;
        int descriptor;
        QHostAddress address;
        std::unique_ptr<TlsTransport> tls;
        std::unique_ptr<QSocketNotifier> readable;
        std::unique_ptr<QSocketNotifier> writable;
    };

    struct Waiting {
        int descriptor;
        QHostAddress address;
    };
    // Takes every accepted connection and starts handshakes while fewer than the limit are under way.
    void startHandshakes();
    // Counts a connection against its address from its arrival, or refuses it.
    void arrive(int descriptor);
    void begin(const Waiting& arrival);
    void advance(quint64 id);
    void finish(quint64 id);
    // A handshake ends either here or in finish.
    void refuse(quint64 id, const QString& why);
    void report(const QHostAddress& address, const QString& why);
    // Takes the handshake out of the count; its notifiers go later, as this runs inside their activation.
    std::unique_ptr<Handshake> take(quint64 id);
    void closeStalled();

    ConnectionManager& m_connections;
    TlsIdentity m_identity;
    std::unique_ptr<TlsContext> m_context;
    std::chrono::milliseconds m_handshakeTimeout{kHandshakeTimeout};
    QString m_listenError;
    quint64 m_nextId = 1;
    bool m_starting = false;
    std::deque<Waiting> m_waiting;
    // Those whose address had its share of handshakes under way when their turn came, by address: at
    // most 64 / 8 addresses, each within its share of unidentified connections.
    QHash<QHostAddress, std::deque<int>> m_heldBack;
    QHash<QHostAddress, int> m_startedFrom;
    std::unordered_map<quint64, std::unique_ptr<Handshake>> m_handshaking;
    QHash<QHostAddress, int> m_handshakeCount;
    // Handshakes in the order they started, with their deadlines.
    std::deque<std::pair<quint64, QDeadlineTimer>> m_deadlines;
    QTimer m_stallCheck;
    quint64 m_handshakesDone = 0;
    quint64 m_handshakesResumed = 0;
};

} // namespace kestrava
