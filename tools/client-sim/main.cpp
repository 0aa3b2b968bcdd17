// kestrava-client-sim: one or many simulated client services against a running console.
#include "SimulatedClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using kestrava::SimulatedClient;

namespace {

// Many clients need many descriptors; take what the hard limit allows.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// One line per arrival: the line breaks inside a message (the block message has some) are shown escaped.
QString oneLine(const QString& message) {
    QString text = SimulatedClient::displayText(message);
    return text.replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

void sendAction(SimulatedClient& client, const QString& action) {
    if (action == QLatin1String("s"))
        client.askSchedule();
    else if (action == QLatin1String("o"))
        client.askSettings();
    else if (action == QLatin1String("r"))
        client.askWhiteList();
    else if (action == QLatin1String("b"))
        client.askBlockList();
    else
        client.sendText(SimulatedClient::fromDisplayText(action));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrava-client-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated client services. Each arrival is printed on one line, the separator "
                       "shown as |. Lines typed on standard input are sent to every client as they "
                       "are, | standing for the separator (for example: s, hIN, d|id|name|1.4|)."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Console address."),
                                  QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Console port."),
                                  QStringLiteral("port"), QStringLiteral("8999"));
    const QCommandLineOption id(QStringLiteral("id"), QStringLiteral("Identifier."), QStringLiteral("text"),
                                QStringLiteral("SIM"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Computer name."),
                                  QStringLiteral("text"), QStringLiteral("SIMPC"));
    const QCommandLineOption version(QStringLiteral("client-version"), QStringLiteral("Version sent."),
                                     QStringLiteral("text"), QStringLiteral("1.4"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("Number of clients; with more than one, each gets "
                                                  "-<n> after identifier and name."),
                                   QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption send(QStringLiteral("send"),
                                  QStringLiteral("Messages after identifying, comma-separated: s, o, r, b, "
                                                 "or any text such as hIN."),
                                  QStringLiteral("list"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Pause between two messages of a client."),
                                      QStringLiteral("ms"), QStringLiteral("200"));
    const QCommandLineOption linger(QStringLiteral("linger"),
                                    QStringLiteral("Quit after this time; 0 stays until every client is "
                                                   "disconnected."),
                                    QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Print only a summary when quitting."));
    parser.addOptions({host, port, id, name, version, count, send, interval, linger, quiet});
    parser.process(app);

    raiseDescriptorLimit();
    const int clients = std::max(1, parser.value(count).toInt());
    const bool many = clients > 1;
    const bool silent = parser.isSet(quiet);
    const QStringList actions = parser.value(send).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const int pause = std::max(0, parser.value(interval).toInt());

    QTextStream out(stdout);
    std::vector<std::unique_ptr<SimulatedClient>> swarm;
    int open = 0;
    int everConnected = 0;
    qint64 arrivals = 0;

    auto summary = [&] {
        if (silent)
            out << "clients " << clients << ", connected " << everConnected << ", arrivals " << arrivals
                << Qt::endl;
    };

    for (int n = 1; n <= clients; ++n) {
        auto client = std::make_unique<SimulatedClient>();
        SimulatedClient* c = client.get();
        const QString suffix = many ? QStringLiteral("-%1").arg(n) : QString();
        const QString prefix = many ? QStringLiteral("%1: ").arg(n) : QString();
        QObject::connect(c, &SimulatedClient::arrived, &app, [&, prefix](const QString& message) {
            ++arrivals;
            if (!silent)
                out << prefix << oneLine(message) << Qt::endl;
        });
        QObject::connect(c, &SimulatedClient::connected, &app, [&, c, suffix] {
            ++open;
            ++everConnected;
            c->identify(parser.value(id) + suffix, parser.value(name) + suffix, parser.value(version));
            for (int i = 0; i < actions.size(); ++i) {
                QTimer::singleShot(pause * (i + 1), c, [c, action = actions[i]] { sendAction(*c, action); });
            }
        });
        QObject::connect(c, &SimulatedClient::disconnected, &app, [&, prefix] {
            if (!silent)
                out << prefix << "(disconnected)" << Qt::endl;
            if (--open == 0 && parser.value(linger).toInt() == 0) {
                summary();
                QCoreApplication::quit();
            }
        });
        c->connectTo(parser.value(host), static_cast<quint16>(parser.value(port).toUInt()));
        swarm.push_back(std::move(client));
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QTextStream in(stdin);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        const QString line = in.readLine();
        if (line.isNull()) {
            input.setEnabled(false);
            return;
        }
        if (line.trimmed().isEmpty())
            return;
        for (const auto& client : swarm)
            sendAction(*client, line.trimmed());
    });

    if (const int ms = parser.value(linger).toInt(); ms > 0) {
        QTimer::singleShot(ms, &app, [&] {
            summary();
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
