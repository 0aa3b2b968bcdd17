#include "Agent.h"
#include "config/AgentConfig.h"
#include "enforce/DnsForwarder.h"
#include "state/ConsolePin.h"
#include "state/OwnIdentity.h"
#include "state/StateFile.h"
#include "state/StatusServer.h"
#include "state/StatusText.h"
#include "system/DryRunEffects.h"
#include "system/HostEffects.h"
#include "system/ServiceNotifier.h"
#include "tls/Fingerprint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace kestrava;
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

QString consoleKeyText(const AgentConfig& config) {
    if (!config.consoleFingerprint.isEmpty())
        return QStringLiteral("%1 (configured; TLS to port %2 only)")
            .arg(Fingerprint::text(config.consoleFingerprint))
            .arg(config.tlsPort());
    QString problem;
    const QByteArray pinned = ConsolePin(config.stateDir).load(&problem);
    if (!problem.isEmpty())
        return problem + QStringLiteral(" (every console is refused; --forget-console clears it)");
    if (!pinned.isEmpty())
        return QStringLiteral("%1 (pinned at its first contact; TLS to port %2 only)")
            .arg(Fingerprint::text(pinned))
            .arg(config.tlsPort());
    return QStringLiteral(
               "not pinned yet (TLS to port %1 first; plain TCP to port %2 while that port refuses)")
        .arg(config.tlsPort())
        .arg(config.consolePort);
}

// What --status adds about the keys: they are not part of the saved state.
QString keysText(const AgentConfig& config) {
    const QString own = OwnIdentity::existingFingerprint(config.stateDir);
    return QStringLiteral("Own key:      %1\nConsole key:  %2\n")
        .arg(own.isEmpty() ? QStringLiteral("none yet (made by --fingerprint or at the first start)") : own,
             consoleKeyText(config));
}

// --forget-console: what it removed, for the administrator.
int forgetConsole(const AgentConfig& config) {
    const ConsolePin pin(config.stateDir, config.dryRun);
    QString unreadable;
    const QByteArray pinned = pin.load(&unreadable);
    QString error;
    if (!pin.clear(&error))
        return fail(error, 1);
    QString text;
    if (config.dryRun)
        text = QStringLiteral("dry run: would remove %1").arg(pin.path());
    else if (!unreadable.isEmpty())
        text = QStringLiteral("Removed %1, which held no usable fingerprint.").arg(pin.path());
    else if (pinned.isEmpty())
        text = QStringLiteral("No console key was pinned in %1; nothing removed.").arg(pin.path());
    else
        text = QStringLiteral("Forgot the console's key %1 (removed %2).\nThe next console to pass its TLS "
                              "handshake is pinned (systemctl restart kestrava-agent to reconnect now).")
                   .arg(Fingerprint::text(pinned), pin.path());
    if (!config.consoleFingerprint.isEmpty())
        text += QStringLiteral("\nconsole_fingerprint still pins %1.")
                    .arg(Fingerprint::text(config.consoleFingerprint));
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    return 0;
}

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
        QStringLiteral("Print the link, policy and internet state in force (of the running agent, else as "
                       "saved), then exit."));
    const QCommandLineOption consoleFingerprintOption(
        QStringLiteral("console-fingerprint"),
        QStringLiteral("Connect only over TLS to a console whose certificate has this SHA-256 fingerprint."),
        QStringLiteral("FINGERPRINT"));
    const QCommandLineOption fingerprintOption(
        QStringLiteral("fingerprint"),
        QStringLiteral(
            "Print this computer's own key fingerprint (making the key when missing), then exit."));
    const QCommandLineOption forgetConsoleOption(
        QStringLiteral("forget-console"),
        QStringLiteral("Clear the console's key pinned at its first contact, then exit."));
    parser.addOptions({configOption, consoleOption, identifierOption, nameOption, stateOption, dryRunOption,
                       statusOption, consoleFingerprintOption, fingerprintOption, forgetConsoleOption});
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
    } else if (parser.isSet(configOption) ||
               (!parser.isSet(consoleOption) && !parser.isSet(statusOption) &&
                !parser.isSet(fingerprintOption) && !parser.isSet(forgetConsoleOption))) {
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
    if (parser.isSet(consoleFingerprintOption)) {
        config.consoleFingerprint = Fingerprint::parse(parser.value(consoleFingerprintOption));
        if (config.consoleFingerprint.isEmpty())
            return fail(QStringLiteral("--console-fingerprint takes 64 hex digits such as AB:CD:..., as the "
                                       "console shows it in Options"),
                        kExitBadConfig);
    }
    config.dryRun = parser.isSet(dryRunOption);
    if (parser.isSet(forgetConsoleOption))
        return forgetConsole(config);

    if (parser.isSet(statusOption)) {
        if (const std::optional<QString> live = StatusServer::ask(config.stateDir)) {
            std::fputs("State in force (from the running agent):\n", stdout);
            std::fputs(qPrintable(*live), stdout);
        } else {
            QString error;
            const auto state = StateFile(config.stateDir).load(&error);
            if (!state)
                return fail(
                    error.isEmpty()
                        ? QStringLiteral("no agent runs and no saved state in %1 yet").arg(config.stateDir)
                        : error,
                    1);
            std::fputs("Saved state (no agent answers):\n", stdout);
            std::fputs(qPrintable(statusText(*state, QDateTime::currentDateTime())), stdout);
        }
        std::fputs(qPrintable(keysText(config)), stdout);
        return 0;
    }
    if (config.identifier.isEmpty())
        config.identifier = AgentConfig::machineIdentifier();
    if (config.name.isEmpty())
        config.name = AgentConfig::shortHostName();
    const QString commonName = QStringLiteral("kestrava-agent ") + config.name;
    if (parser.isSet(fingerprintOption)) {
        const TlsIdentity identity = OwnIdentity::loadOrCreate(config.stateDir, commonName);
        if (!identity.isValid())
            return fail(identity.error, 1);
        std::fputs(qPrintable(Fingerprint::text(identity.certificate) + QLatin1Char('\n')), stdout);
        return 0;
    }
    if (config.consoleHost.isEmpty())
        return fail(QStringLiteral("no console configured: set [console] host in %1 or use --console")
                        .arg(configPath),
                    kExitBadConfig);
    if (config.tlsPort() == 0)
        return fail(QStringLiteral("the console's port 65535 leaves no room for its TLS port: set "
                                   "[console] console_tls_port in %1")
                        .arg(configPath),
                    kExitBadConfig);
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
    // A dry run leaves the state folder alone and presents a key of its own for the time it runs.
    QTemporaryDir dryRunKeys;
    const TlsIdentity identity =
        OwnIdentity::loadOrCreate(config.dryRun ? dryRunKeys.path() : config.stateDir, commonName);
    if (!identity.isValid())
        return fail(identity.error, kExitBadConfig);
    Agent agent(config, *effects, std::move(dns), &identity);
    QObject::connect(&agent, &Agent::finished, &app, [](int code) { QCoreApplication::exit(code); });
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&agent] {
        char byte;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
        agent.stop();
        QCoreApplication::exit(0);
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    // Before the first child starts: none of them is to talk to systemd in the agent's name.
    ServiceNotifier service;
    agent.start();
    // start() has put the saved policy in force.
    service.ready();
    return QCoreApplication::exec();
}
