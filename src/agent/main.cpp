#include "Agent.h"
#include "config/AgentConfig.h"
#include "enforce/DnsForwarder.h"
#include "state/StateFile.h"
#include "state/StatusText.h"
#include "system/DryRunEffects.h"
#include "system/HostEffects.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace kestrava::agent;

namespace {

// Exit codes: 2 for a bad configuration or command line, 4 without the privileges to enforce.
constexpr int kExitBadConfig = 2;
constexpr int kExitNoPrivilege = 4;

int fail(const QString& message, int code) {
    std::fprintf(stderr, "kestrava-agent: %s\n", qPrintable(message));
    return code;
}

// SIGTERM and SIGINT end the event loop from a pipe, so the rules are left in force and the state saved.
int signalPipe[2];

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrava-agent"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRAVA_VERSION));
    // The journal reads the level from the "<n>" prefix; debug lines (whole rulesets) only on request.
    qSetMessagePattern(
        QStringLiteral("%{if-warning}<4>%{endif}%{if-critical}<3>%{endif}%{if-fatal}<2>%{endif}"
                       "%{category}: %{message}"));
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("kestrava.*.debug=false"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Kestrava client service: enforces what the console orders."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(QStringLiteral("config"), QStringLiteral("Configuration file."),
                                          QStringLiteral("FILE"), QStringLiteral("/etc/kestrava/agent.conf"));
    const QCommandLineOption consoleOption(QStringLiteral("console"),
                                           QStringLiteral("The console to connect to."),
                                           QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption identifierOption(QStringLiteral("identifier"),
                                              QStringLiteral("Identifier sent to the console."),
                                              QStringLiteral("TEXT"));
    const QCommandLineOption nameOption(
        QStringLiteral("name"), QStringLiteral("Computer name sent to the console."), QStringLiteral("TEXT"));
    const QCommandLineOption stateOption(QStringLiteral("state-dir"),
                                         QStringLiteral("Folder of the saved state."), QStringLiteral("DIR"));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("Log the rules and actions it would apply; touch nothing."));
    const QCommandLineOption statusOption(
        QStringLiteral("status"),
        QStringLiteral("Print the saved link, policy and internet state, then exit."));
    parser.addOptions(
        {configOption, consoleOption, identifierOption, nameOption, stateOption, dryRunOption, statusOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument '%1' (see --help)").arg(parser.positionalArguments().first()),
            kExitBadConfig);

    AgentConfig config;
    const QString configPath = parser.value(configOption);
    QFile configFile(configPath);
    if (configFile.exists()) {
        if (!configFile.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(configPath, configFile.errorString()),
                        kExitBadConfig);
        QString error;
        const auto parsed = AgentConfig::parse(QString::fromUtf8(configFile.readAll()), configPath, &error);
        if (!parsed)
            return fail(error, kExitBadConfig);
        config = *parsed;
    } else if (parser.isSet(configOption) || (!parser.isSet(consoleOption) && !parser.isSet(statusOption))) {
        return fail(
            QStringLiteral("%1 does not exist; name the console there ([console] host=...) or with --console")
                .arg(configPath),
            kExitBadConfig);
    }
    if (parser.isSet(consoleOption) && !config.setConsole(parser.value(consoleOption)))
        return fail(QStringLiteral("--console takes HOST or HOST:PORT with a port from 1 to 65535"),
                    kExitBadConfig);
    if (parser.isSet(identifierOption))
        config.identifier = parser.value(identifierOption);
    if (parser.isSet(nameOption))
        config.name = parser.value(nameOption);
    if (parser.isSet(stateOption))
        config.stateDir = parser.value(stateOption);
    config.dryRun = parser.isSet(dryRunOption);

    if (parser.isSet(statusOption)) {
        QString error;
        const auto state = StateFile(config.stateDir).load(&error);
        if (!state)
            return fail(
                error.isEmpty() ? QStringLiteral("no saved state in %1 yet").arg(config.stateDir) : error, 1);
        std::fputs(qPrintable(statusText(*state, QDateTime::currentDateTime())), stdout);
        return 0;
    }
    if (config.consoleHost.isEmpty())
        return fail(QStringLiteral("no console configured: set [console] host in %1 or use --console")
                        .arg(configPath),
                    kExitBadConfig);
    if (config.identifier.isEmpty())
        config.identifier = AgentConfig::machineIdentifier();
    if (config.name.isEmpty())
        config.name = AgentConfig::shortHostName();
    if (config.identifier.isEmpty())
        return fail(
            QStringLiteral("/etc/machine-id is unreadable: set [agent] identifier or use --identifier"),
            kExitBadConfig);
    if (!config.dryRun && ::geteuid() != 0)
        return fail(QStringLiteral("enforcing needs root; use --dry-run to see what would be done"),
                    kExitNoPrivilege);

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return fail(QStringLiteral("cannot set up signal handling"), 1);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    std::unique_ptr<Effects> effects;
    if (config.dryRun)
        effects = std::make_unique<DryRunEffects>();
    else
        effects = std::make_unique<HostEffects>();
    auto dns = config.dryRun ? nullptr : std::make_unique<DnsForwarder>();
    Agent agent(config, *effects, std::move(dns));
    QObject::connect(&agent, &Agent::finished, &app, [](int code) { QCoreApplication::exit(code); });
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&agent] {
        char byte;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
        agent.stop();
        QCoreApplication::exit(0);
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    agent.start();
    return QCoreApplication::exec();
}
