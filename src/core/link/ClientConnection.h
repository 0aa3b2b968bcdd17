#pragma once

#include "protocol/InboundSplitter.h"
#include "tls/Transport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <memory>

namespace kestrava {

// One slot of the connection table: an accepted socket descriptor, the system key it is tied to (its
// tag), the splitting of what it receives and the queue of what it sends. Client services read one
// message per arrival, so a message leaves only after the previous one was handed to the kernel and the
// spacing interval has passed since; other connections never wait for this one. The descriptor is held
// directly (one notifier, no socket object): at tens of thousands of clients a socket object's memory
// and its close inside the read of the peer's end dominate. Bytes go through the connection's transport:
// the socket itself, or TLS over it for the authenticated port.
class ClientConnection : public QObject {
    Q_OBJECT
public:
    // A connection that asks faster than its answers can leave loses the answers beyond this.
    static constexpr qsizetype kMaxQueuedMessages = 256;
    // TLS records taken in one read at most.
    static constexpr int kMaxRecordsPerArrival = 64;

    struct Timing {
        std::chrono::milliseconds sendSpacing;
        std::chrono::milliseconds identificationWait;
    };

    // Takes the connected descriptor over; the destructor closes it.
    ClientConnection(int index, qintptr descriptor, Timing timing, QObject* parent = nullptr);
    // The same over transport (on that descriptor), whose peer proved the certificate with the SHA-256
    // presentedKey in its handshake.
    ClientConnection(int index, qintptr descriptor, std::unique_ptr<Transport> transport,
                     const QByteArray& presentedKey, Timing timing, QObject* parent = nullptr);
    ~ClientConnection() override;

    int index() const { return m_index; }
    const QString& tag() const { return m_tag; }
    void setTag(const QString& tag) { m_tag = tag; }

    // Open and not failed: the only state in which anything is sent.
    bool isConnected() const;
    // Closed or failed: the slot may be cleaned up and reused.
    bool isDead() const { return !isConnected(); }
    // An error that did not end the connection still leaves the slot unusable.
    void markFailed() { m_failed = true; }
    QHostAddress peerAddress() const { return peerAddressOf(m_descriptor); }
    static QHostAddress peerAddressOf(qintptr descriptor);
    QString remoteAddress() const;
    // The SHA-256 of the certificate the peer proved; empty over the plain port.
    const QByteArray& presentedKey() const { return m_presentedKey; }

    // Queues one message; it leaves as one write. Dropped when the queue is full.
    void send(const QByteArray& message);
    // Queues one message without writing yet; false when it was dropped. writeQueued() starts it.
    bool enqueue(const QByteArray& message);
    void writeQueued() { writeNext(); }
    qsizetype queuedCount() const { return static_cast<qsizetype>(m_queue.size()); }
    // Drops every queued message and stops all signals and notifications at once; the descriptor stays
    // open until the object is destroyed, which the owner does later, outside the caller's stack.
    void shutDown();

signals:
    void messageReceived(int index, const QString& message);
    void closed(int index);
    void failed(int index, int number);

private:
    void setUp();
    // The peer closed its end.
    void end();
    void onReadable();
    void onWritable();
    void onBytesWritten();
    void writeNext();
    bool handOver(const QByteArray& message);
    void reportLater(int number);
    // The stream failed: one line for the log, and the slot closes.
    void failStream();
    void deliver(const QStringList& messages);

    int m_index;
    int m_descriptor;
    Timing m_timing;
    QString m_tag;
    bool m_failed = false;
    bool m_shutDown = false;
    // The peer closed or the socket failed.
    bool m_ended = false;
    bool m_writing = false;
    std::unique_ptr<Transport> m_transport;
    QByteArray m_presentedKey;
    std::unique_ptr<QSocketNotifier> m_readable;
    // Only while a message waits for room in the kernel's buffer.
    std::unique_ptr<QSocketNotifier> m_writable;
    QByteArray m_unsent;
    InboundSplitter m_splitter;
    std::deque<QByteArray> m_queue;
    QElapsedTimer m_sinceHandedOver;
    QTimer m_spacing;
};

} // namespace kestrava
