#include "WorkerPool.h"

#include "BenchClock.h"

#include <QElapsedTimer>
#include <cstdio>

namespace kestrava::bench {

WorkerPool::WorkerPool(const Settings& settings) {
    const int processes = std::max(1, std::min(settings.processes, settings.clients));
    int first = settings.firstNumber;
    for (int p = 0; p < processes; ++p) {
        const int count = settings.clients / processes + (p < settings.clients % processes ? 1 : 0);
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{QStringLiteral("--port"),       QString::number(settings.port),
                              QStringLiteral("--first"),      QString::number(first),
                              QStringLiteral("--count"),      QString::number(count),
                              QStringLiteral("--source-net"), QString::number(10 + p),
                              QStringLiteral("--think"),      QString::number(settings.thinkMs),
                              QStringLiteral("--timeout"),    QString::number(settings.timeoutMs)};
        if (settings.tls)
            arguments << QStringLiteral("--tls");
        process->start(settings.program, arguments);
        first += count;
        m_processes.push_back(std::move(process));
    }
    for (auto& process : m_processes) {
        process->waitForStarted(10'000);
        // With TLS every client makes its key first, which must not overlap the first command.
        if (awaitReply(*process, QStringLiteral("ready"), settings.tls ? 300'000 : 10'000).verb.isEmpty())
            std::fputs("bench: a load process did not start\n", stderr);
    }
}

WorkerPool::~WorkerPool() {
    send(QStringLiteral("quit"));
    for (auto& process : m_processes) {
        process->closeWriteChannel();
        if (!process->waitForFinished(10'000)) {
            process->kill();
            process->waitForFinished(5'000);
        }
    }
}

void WorkerPool::send(const QString& line) {
    for (auto& process : m_processes) {
        process->write((line + QLatin1Char('\n')).toLatin1());
        process->waitForBytesWritten(1'000);
    }
}

KeyValueLine WorkerPool::awaitReply(QProcess& process, const QString& verb, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        while (process.canReadLine()) {
            const KeyValueLine line = KeyValueLine::parse(QString::fromLatin1(process.readLine()).trimmed());
            if (line.verb == verb)
                return line;
        }
        const qint64 left = timeoutMs - waited.elapsed();
        if (left <= 0 || process.state() != QProcess::Running)
            return {};
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1'000)));
    }
}

std::vector<KeyValueLine> WorkerPool::command(const QString& line, const QString& replyVerb, int timeoutMs) {
    send(line);
    std::vector<KeyValueLine> replies;
    const qint64 deadline = nowNs() + qint64(timeoutMs) * 1'000'000;
    for (auto& process : m_processes) {
        const int left = static_cast<int>(std::max<qint64>(0, (deadline - nowNs()) / 1'000'000));
        replies.push_back(awaitReply(*process, replyVerb, left));
    }
    return replies;
}

std::vector<KeyValueLine> WorkerPool::watch(QChar letter, int timeoutMs,
                                            const std::function<void()>& action) {
    send(QStringLiteral("watch %1 %2").arg(letter).arg(timeoutMs));
    for (auto& process : m_processes)
        awaitReply(*process, QStringLiteral("watching"), 10'000);
    action();
    std::vector<KeyValueLine> replies;
    for (auto& process : m_processes)
        replies.push_back(awaitReply(*process, QStringLiteral("watch"), timeoutMs + 5'000));
    return replies;
}

} // namespace kestrava::bench
