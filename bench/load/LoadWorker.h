#pragma once

#include "LatencyHistogram.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

namespace kestrava {
class SimulatedClient;
class TlsContext;
} // namespace kestrava

namespace kestrava::bench {

// One load process: a share of the simulated client services, each connecting from its own address
// in 127.0.0.0/8. It obeys one command at a time from the runner and answers with one line.
//   storm                 connect all at once, identify on connect, wait for "F|3|" then "S..."
//   drop                  abort every connection
//   exchange              each client asks s, o, r, b once, one after the other
//   mix <ms> [think]      each client loops s, o, r, b, hIN until the time is over, pausing think ms
//                         after each answer (default --think)
//   watch <letter> <ms>   wait until every client has an arrival that starts with the letter
class LoadWorker : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString host;
        quint16 port = 0;
        int first = 0;
        int count = 0;
        int sourceNet = 10;
        int thinkMs = 55;
        int timeoutMs = 60'000;
        // Over the authenticated port, every client with a key and certificate of its own, made at start;
        // a client that reconnects offers the session ticket of its last connection.
        bool tls = false;
    };

    explicit LoadWorker(const Options& options, QObject* parent = nullptr);
    ~LoadWorker() override;

    void command(const QString& line);

signals:
    void reply(const QString& line);

private:
    enum class Phase { Idle, Storm, Exchange, Mix, Watch };
    struct Client {
        std::unique_ptr<SimulatedClient> sim;
        int number = 0;
        qint64 connectedAt = 0;
        int arrivals = 0;
        bool separate = false;
        bool done = false;
        int step = 0;
        qint64 sentAt = 0;
        QChar expected;
        // The answer to a request of the phase before is still due: the client waits for it first.
        bool owed = false;
        std::shared_ptr<const TlsContext> tls;
        QByteArray sessionTicket;
    };

    QHostAddress sourceOf(int index) const;
    void startStorm();
    void onArrival(int index, const QString& message);
    void onConnected(int index);
    void drop();
    void startRequests(Phase phase, int durationMs, int thinkMs);
    void sendNext(int index);
    void onThinkTick();
    void startWatch(QChar letter, int timeoutMs);
    void finish();

    Options m_options;
    std::vector<Client> m_clients;
    Phase m_phase = Phase::Idle;
    qint64 m_startedAt = 0;
    qint64 m_lastConnected = 0;
    qint64 m_lastDone = 0;
    int m_connected = 0;
    int m_done = 0;
    int m_separate = 0;
    // Connections of the storm that resumed a session instead of a full handshake.
    int m_resumed = 0;
    int m_wrong = 0;
    qint64 m_mixEnd = 0;
    qint64 m_thinkNs = 0;
    qint64 m_answers = 0;
    QChar m_watchLetter;
    LatencyHistogram m_latency;
    // Clients waiting out their think time, in due order: every client waits the same time.
    std::deque<std::pair<qint64, int>> m_thinking;
    QTimer m_thinkTick;
    QTimer m_deadline;
};

} // namespace kestrava::bench
