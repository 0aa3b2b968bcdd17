#include "agent/Agent.h"
#include "agent/config/AgentConfig.h"
#include "agent/state/ConsolePin.h"
#include "agent/state/OwnIdentity.h"
#include "agent/state/StateFile.h"
#include "agent/state/StatusServer.h"
#include "agent/state/StatusText.h"
#include "agent/system/DryRunEffects.h"
#include "agent/system/HostEffects.h"
#include "tls/Fingerprint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

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

// The options that set a value of the configuration, each with its setter, which says what is wrong.
using Setter = std::function<QString(AgentConfig&, const QString&)>;
using ValueOption = std::pair<QCommandLineOption, Setter>;

// Takes the value as given.
Setter store(QString AgentConfig::*member) {
    return [member](AgentConfig& config, const QString& value) {
        config.*member = value;
        return QString();
    };
}

QList<ValueOption> valueOptions() {
    const auto option = [](const char* name, const char* description, const char* valueName) {
        return QCommandLineOption(QLatin1String(name), QLatin1String(description), QLatin1String(valueName));
    };
    return {
        {option("console", "The console to connect to.", "HOST[:PORT]"),
         [](AgentConfig& config, const QString& value) {
             return config.setConsole(value)
                        ? QString()
                        : QStringLiteral("--console takes HOST or HOST:PORT with a port from 1 to 65535");
         }},
        {option("identifier", "Identifier sent to the console.", "TEXT"), store(&AgentConfig::identifier)},
        {option("name", "Computer name sent to the console.", "TEXT"), store(&AgentConfig::name)},
        {option("state-dir", "Folder of the saved state.", "DIR"), store(&AgentConfig::stateDir)},
        {option("console-fingerprint",
                "Connect only over TLS to a console whose certificate has this SHA-256 fingerprint.",
                "FINGERPRINT"),
         [](AgentConfig& config, const QString& value) {
             config.consoleFingerprint = Fingerprint::parse(value);
             return config.consoleFingerprint.isEmpty()
                        ? QStringLiteral(
                              "--console-fingerprint takes 64 hex digits such as AB:CD:..., as the "
                              "console shows it in Options")
                        : QString();
         }},
    };
}

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// --status: from the running agent, else from the state file.
int printStatus(const AgentConfig& config) {
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

// What makes enforcement impossible; empty when it can run.
QString cannotRun(const AgentConfig& config, const QString& configPath) {
    if (config.consoleHost.isEmpty())
        return QStringLiteral("no console configured: set [console] host in %1 or use --console")
            .arg(configPath);
    if (config.tlsPort() == 0)
        return QStringLiteral("the console's port 65535 leaves no room for its TLS port: set "
                              "[console] console_tls_port in %1")
            .arg(configPath);
    if (config.identifier.isEmpty())
        return QStringLiteral("/etc/machine-id is unreadable: set [agent] identifier or use --identifier");
    return {};
}

// Builds the agent on the machine (or on the dry run's stand-in) and runs it until it is told to end.
int run(const AgentConfig& config, const QString& commonName) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return fail(QStringLiteral("cannot set up signal handling"), 1);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    // Before the first child starts: none of them is to talk to systemd in the agent's name.
    const std::unique_ptr<Effects> effects = config.dryRun ? std::make_unique<DryRunEffects>(config.stateDir)
                                                           : std::make_unique<HostEffects>(config.stateDir);
    // A dry run leaves the state folder alone and presents a key of its own for the time it runs.
    QTemporaryDir dryRunKeys;
    const TlsIdentity identity =
        OwnIdentity::loadOrCreate(config.dryRun ? dryRunKeys.path() : config.stateDir, commonName);
    if (!identity.isValid())
        return fail(identity.error, kExitBadConfig);
    Agent agent(config, *effects, &identity);
    QObject::connect(&agent, &Agent::finished, qApp, [](int code) { QCoreApplication::exit(code); });
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, qApp, [&agent] {
        char byte;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
        agent.stop();
        QCoreApplication::exit(0);
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    agent.start();
    // start() has put the saved policy in force.
    effects->serviceReady();
    return QCoreApplication::exec();
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
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("Log the rules and actions it would apply; touch nothing."));
    const QCommandLineOption statusOption(
        QStringLiteral("status"),
        QStringLiteral("Print the link, policy and internet state in force (of the running agent, else as "
                       "saved), then exit."));
    const QCommandLineOption fingerprintOption(
        QStringLiteral("fingerprint"),
        QStringLiteral(
            "Print this computer's own key fingerprint (making the key when missing), then exit."));
    const QCommandLineOption forgetConsoleOption(
        QStringLiteral("forget-console"),
        QStringLiteral("Clear the console's key pinned at its first contact, then exit."));
    const QList<ValueOption> values = valueOptions();
    parser.addOption(configOption);
    for (const auto& [option, set] : values)
        parser.addOption(option);
    parser.addOptions({dryRunOption, statusOption, fingerprintOption, forgetConsoleOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument '%1' (see --help)").arg(parser.positionalArguments().first()),
            kExitBadConfig);

    AgentConfig config;
    const QString configPath = parser.value(configOption);
    QFile configFile(configPath);
    const bool consoleGiven = parser.isSet(QStringLiteral("console"));
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
               (!consoleGiven && !parser.isSet(statusOption) && !parser.isSet(fingerprintOption) &&
                !parser.isSet(forgetConsoleOption))) {
        return fail(
            QStringLiteral("%1 does not exist; name the console there ([console] host=...) or with --console")
                .arg(configPath),
            kExitBadConfig);
    }
    for (const auto& [option, set] : values) {
        if (!parser.isSet(option))
            continue;
        if (const QString error = set(config, parser.value(option)); !error.isEmpty())
            return fail(error, kExitBadConfig);
    }
    config.dryRun = parser.isSet(dryRunOption);
    if (parser.isSet(forgetConsoleOption))
        return forgetConsole(config);
    if (parser.isSet(statusOption))
        return printStatus(config);
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
    if (const QString problem = cannotRun(config, configPath); !problem.isEmpty())
        return fail(problem, kExitBadConfig);
    if (!config.dryRun && ::geteuid() != 0)
        return fail(QStringLiteral("enforcing needs root; use --dry-run to see what would be done"),
                    kExitNoPrivilege);
    return run(config, commonName);
}
