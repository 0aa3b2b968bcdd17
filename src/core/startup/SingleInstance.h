#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace kestrava {

// One console per user and program file. The first start listens on a local socket; a second start finds
// it there, hands over its command line and ends. Every wait of a second start is bounded, so a stale
// socket or a console that does not answer never holds it up for more than about a second.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // What became of a command line handed over by a second start.
    enum class HandOver { NothingToSend, CalledUp, Ignored, Unreachable };

    explicit SingleInstance(QString serverName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // <runtime folder of the user>/kestrava-<hash of the program path>
    static QString serverNameFor(const QString& programPath);
    QString serverName() const { return m_serverName; }

    // True when another console answers on the server name, or holds it without answering.
    bool Is_Already_Running();
    // Hands text to the console found by Is_Already_Running and waits briefly for its verdict.
    HandOver Send_Command_Line(const QString& text);
    static int exitCodeOf(HandOver result);

    // Starts listening for second starts; a stale socket left by a crashed console is replaced.
    bool listen();
    // Decides a received command line; true when the console was called up.
    void setHandler(std::function<bool(const QString&)> handler) { m_handler = std::move(handler); }

private:
    void acceptConnections();
    void readFrom(QLocalSocket* socket);

    QString m_serverName;
    std::unique_ptr<QLocalSocket> m_peer;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, QByteArray> m_received;
    std::function<bool(const QString&)> m_handler;
};

} // namespace kestrava
