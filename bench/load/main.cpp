// kestrava-bench-load: one process of simulated client services, driven line by line on standard input.
#include "LoadWorker.h"
#include "core/platform/EventDispatcher.h"
#include "core/platform/OpenFileLimit.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

using kestrava::bench::LoadWorker;

int main(int argc, char* argv[]) {
    kestrava::raiseOpenFileLimit();
    kestrava::installEventDispatcher();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    auto option = [&](const char* name, const char* help, const char* fallback) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(help), QStringLiteral("value"),
                             QString::fromLatin1(fallback));
        parser.addOption(o);
        return o;
    };
    const auto host = option("host", "Console address.", "127.0.0.1");
    const auto port = option("port", "Console port.", "8999");
    const auto first = option("first", "Number of the first client.", "1");
    const auto count = option("count", "Number of clients.", "100");
    const auto net = option("source-net", "Clients connect from 127.<this>.x.y.", "10");
    const auto think = option("think", "Pause after each answer, ms.", "55");
    const auto timeout = option("timeout", "Longest wait of one command, ms.", "60000");
    const QCommandLineOption tls(
        QStringLiteral("tls"),
        QStringLiteral("Over the authenticated port, each client with a key of its own."));
    parser.addOption(tls);
    parser.process(app);

    LoadWorker::Options options;
    options.host = parser.value(host);
    options.port = static_cast<quint16>(parser.value(port).toUInt());
    options.first = parser.value(first).toInt();
    options.count = parser.value(count).toInt();
    options.sourceNet = parser.value(net).toInt();
    options.thinkMs = parser.value(think).toInt();
    options.timeoutMs = parser.value(timeout).toInt();
    options.tls = parser.isSet(tls);
    LoadWorker worker(options);
    // When input ends while a command runs, its answer is still printed before quitting.
    bool inputEnded = false;
    bool busy = false;
    QObject::connect(&worker, &LoadWorker::reply, &app, [&](const QString& line) {
        std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
        std::fflush(stdout);
        busy = line == QLatin1String("watching");
        if (inputEnded && !busy)
            QCoreApplication::quit();
    });

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            inputEnded = true;
            if (!busy)
                QCoreApplication::quit();
            return;
        }
        pending.append(buffer, got);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLatin1(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (line == QLatin1String("quit"))
                QCoreApplication::quit();
            else if (!line.isEmpty()) {
                busy = true;
                worker.command(line);
            }
        }
    });
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    return app.exec();
}
