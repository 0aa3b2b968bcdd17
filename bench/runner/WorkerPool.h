#pragma once

#include "KeyValueLine.h"

#include <QProcess>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace kestrava::bench {

// The load processes of one target: n clients shared out over a few processes, each process
// connecting from its own part of 127.0.0.0/8.
class WorkerPool {
public:
    struct Settings {
        QString program;
        quint16 port = 0;
        int clients = 0;
        int processes = 4;
        int thinkMs = 55;
        int timeoutMs = 120'000;
        // Client numbers start here, so that two pools never share a system name.
        int firstNumber = 1;
        // Over the authenticated port, each client with a key of its own.
        bool tls = false;
    };

    explicit WorkerPool(const Settings& settings);
    ~WorkerPool();

    // Sends the command to every process and returns each one's first reply with the verb (an empty
    // verb on time-out or when the process died).
    std::vector<KeyValueLine> command(const QString& line, const QString& replyVerb, int timeoutMs);
    // Sends the command, waits for every "watching", runs action, then collects the final replies.
    std::vector<KeyValueLine> watch(QChar letter, int timeoutMs, const std::function<void()>& action);

private:
    void send(const QString& line);
    KeyValueLine awaitReply(QProcess& process, const QString& verb, int timeoutMs);

    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace kestrava::bench
