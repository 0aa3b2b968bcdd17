#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QHostAddress;
class QTcpSocket;

namespace kestrava {

class TlsContext;
class TlsClientStream;

// A stand-in for a client service: it connects to the console, sends its messages in UTF-16LE, one
// write each, and takes every arrival as one message, read as Windows-1252 bytes.
class SimulatedClient : public QObject {
    Q_OBJECT
public:
    explicit SimulatedClient(QObject* parent = nullptr);
    ~SimulatedClient() override;

    // Connects from this local address (any port) instead of the one the system picks; load tests
    // spread their clients over 127.0.0.0/8 so that ephemeral ports never run out. Call before
    // connectTo.
    bool bindTo(const QHostAddress& local);
    // Speaks over the authenticated port with the key and certificate of this client context, without
    // checking the console's, resuming the session of sessionTicket when the console takes it. Many
    // clients may share one context. Call before connectTo.
    void useTls(std::shared_ptr<const TlsContext> context, const QByteArray& sessionTicket = {});
    // The latest session ticket the console gave, empty when none.
    QByteArray sessionTicket() const;
    // Whether the console took the offered session ticket instead of a full handshake.
    bool resumedSession() const;
    void connectTo(const QString& host, quint16 port);
    bool isConnected() const;

    void identify(const QString& identifier, const QString& computerName,
                  const QString& version = QStringLiteral("1.4"));
    void reportStatus(const QString& code);
    void askSchedule();
    void askSettings();
    void askWhiteList();
    void askBlockList();
    // Any text, in one write.
    void sendText(const QString& text);
    void sendRaw(const QByteArray& bytes);

    // An orderly close.
    void disconnectFromConsole();
    // Drops the connection with a reset instead of an orderly close.
    void resetConnection();

    // Every arrival so far, one entry each, in order.
    const QStringList& arrivals() const { return m_arrivals; }
    const QList<QByteArray>& rawArrivals() const { return m_rawArrivals; }
    QString lastArrival() const { return m_arrivals.isEmpty() ? QString() : m_arrivals.constLast(); }
    void clearArrivals();

    // The message with the separator shown as '|'.
    static QString displayText(const QString& message);
    // '|' read as the separator, for messages typed by hand.
    static QString fromDisplayText(const QString& text);

signals:
    void connected();
    void disconnected();
    void arrived(const QString& message);

private:
    void onReadyRead();
    void flushTls();

    QTcpSocket* m_socket;
    std::shared_ptr<const TlsContext> m_tlsContext;
    QByteArray m_offeredSession;
    std::unique_ptr<TlsClientStream> m_tls;
    QStringList m_arrivals;
    QList<QByteArray> m_rawArrivals;
};

} // namespace kestrava
