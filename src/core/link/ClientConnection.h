#pragma once

#include "protocol/InboundSplitter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>

class QTcpSocket;

namespace kestrava {

// One slot of the connection table: an accepted socket, the system key it is tied to (its tag), the
// splitting of what it receives and the queue of what it sends. Client services read one message per
// arrival, so a message leaves only after the previous one was handed to the kernel and the spacing
// interval has passed since; other connections never wait for this one.
class ClientConnection : public QObject {
    Q_OBJECT
public:
    // A connection that asks faster than its answers can leave loses the answers beyond this.
    static constexpr qsizetype kMaxQueuedMessages = 256;

    struct Timing {
        std::chrono::milliseconds sendSpacing;
        std::chrono::milliseconds identificationWait;
    };

    // Takes the socket over.
    ClientConnection(int index, QTcpSocket* socket, Timing timing, QObject* parent = nullptr);
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
    QString remoteAddress() const;
    QTcpSocket* socket() const { return m_socket; }

    // Queues one message; it leaves as one write. Dropped when the queue is full.
    void send(const QByteArray& message);
    // Queues one message without writing yet; false when it was dropped. writeQueued() starts it.
    bool enqueue(const QByteArray& message);
    void writeQueued() { writeNext(); }
    qsizetype queuedCount() const { return static_cast<qsizetype>(m_queue.size()); }
    // Drops the connection and every queued message. Signals stop at once; the object deletes itself
    // when control is back in the event loop, so callers further up the stack stay safe.
    void shutDown();

signals:
    void messageReceived(int index, const QString& message);
    void closed(int index);
    void failed(int index, int number);

private:
    void onReadyRead();
    void onBytesWritten();
    void writeNext();
    bool handOver(const QByteArray& message);
    void deliver(const QStringList& messages);

    int m_index;
    QTcpSocket* m_socket;
    Timing m_timing;
    QString m_tag;
    bool m_failed = false;
    bool m_shutDown = false;
    InboundSplitter m_splitter;
    // Bytes may go to the kernel directly; never on an encrypted socket.
    bool m_plain;
    std::deque<QByteArray> m_queue;
    bool m_writing = false;
    QElapsedTimer m_sinceHandedOver;
    QTimer m_spacing;
};

} // namespace kestrava
