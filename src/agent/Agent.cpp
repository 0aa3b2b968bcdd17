#include "agent/Agent.h"

#include "agent/enforce/Cidr.h"
#include "agent/enforce/DnsForwarder.h"
#include "agent/enforce/LocalNetworks.h"
#include "agent/enforce/RulesetBuilder.h"
#include "agent/link/ConsoleLink.h"
#include "agent/procs/InstalledPrograms.h"
#include "agent/procs/ProgramBlocker.h"
#include "agent/state/StatusServer.h"
#include "agent/state/StatusText.h"
#include "agent/system/Effects.h"
#include "protocol/ConsoleOrder.h"
#include "protocol/Messages.h"
#include "tls/Fingerprint.h"
#include "tls/TlsIdentity.h"

#include <QHostInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAgent, "kestrava.agent")

namespace kestrava::agent {

namespace {

constexpr int kRulesRetryMs = 5000;
// A table flushed by hand (or by `systemctl restart nftables`) is back well within 30 s.
constexpr int kTableCheckMs = 10000;
constexpr int kConsoleLookupRetryMs = 10000;

QList<Cidr> localNetworks(const AgentConfig& config) {
    return config.localNetworks.isEmpty() ? LocalNetworks::defaults()
                                          : Cidr::parseList(config.localNetworks).value_or(QList<Cidr>());
}

} // namespace

Agent::Agent(AgentConfig config, Effects& effects, const TlsIdentity* identity, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_effects(effects) {
    m_link = std::make_unique<ConsoleLink>(m_config.consoleHost, static_cast<quint16>(m_config.consolePort),
                                           m_config.identifier, m_config.name);
    if (identity) {
        qCInfo(lcAgent).noquote() << (identity->created ? "made its own key, fingerprint"
                                                        : "own key fingerprint")
                                  << Fingerprint::text(identity->certificate);
        const auto tlsPort = static_cast<quint16>(m_config.tlsPort());
        if (m_config.consoleFingerprint.isEmpty())
            m_link->useTls(*identity, tlsPort, m_effects.consolePin());
        else
            m_link->useTls(*identity, tlsPort, m_config.consoleFingerprint);
    }
    const uid_t uidMin = m_effects.uidMin();
    m_blocker = std::make_unique<ProgramBlocker>(
        [&effects = m_effects](pid_t pid, int signal) { return effects.signalProcess(pid, signal); }, uidMin,
        m_effects.processTable());
    if (ExecWatcher* watcher = m_effects.execWatcher())
        m_blocker->setExecWatcher(watcher);
    if (m_config.userPrograms == UserPrograms::Installed) {
        // The blocker's extra check: what it names ends as a blocked program does, its reason the notice.
        m_installedPrograms = std::make_unique<InstalledPrograms>(uidMin);
        m_blocker->setExtraCheck([checker = m_installedPrograms.get()](const ProcessInfo& process) {
            return checker->check(process);
        });
        qCInfo(lcAgent) << "user_programs = installed: users' processes may run installed code only";
    }
    m_boundaryTimer.setSingleShot(true);
    m_retryRulesTimer.setSingleShot(true);
    connect(&m_boundaryTimer, &QTimer::timeout, this, [this] { handle(AgentEvents::BoundaryReached{}); });
    connect(&m_retryRulesTimer, &QTimer::timeout, this, [this] { handle(AgentEvents::RulesInputChanged{}); });
    m_tableCheckTimer.setInterval(kTableCheckMs);
    connect(&m_tableCheckTimer, &QTimer::timeout, this, &Agent::checkTable);
    connect(m_link.get(), &ConsoleLink::messageReceived, this, &Agent::onMessage);
    connect(m_link.get(), &ConsoleLink::connected, this, &Agent::onConnected);
    connect(m_link.get(), &ConsoleLink::disconnected, this, [this] { handle(AgentEvents::Disconnected{}); });
    connect(m_link.get(), &ConsoleLink::pinChanged, this,
            [this] { handle(AgentEvents::RulesInputChanged{}); });
    connect(m_blocker.get(), &ProgramBlocker::programEnded, this, [this](uid_t uid, const QString& program) {
        handle(AgentEvents::ProgramEnded{.uid = uid, .program = program});
    });
    m_effects.onDnsChanged(this, [this] { handle(AgentEvents::RulesInputChanged{}); });
}

Agent::~Agent() = default;

void Agent::start() {
    QString error;
    const auto saved = m_effects.loadState(&error);
    if (!error.isEmpty())
        qCWarning(lcAgent).noquote() << error;
    if (saved)
        qCInfo(lcAgent) << "restored the saved policy from" << m_effects.statePath();
    else
        qCInfo(lcAgent) << "no saved policy: nothing is imposed until the console sends one";
    const QHostAddress literal(m_config.consoleHost);
    if (!literal.isNull())
        m_consoleAddresses.append(literal);
    else
        lookUpConsole();
    handle(AgentEvents::Started{.saved = saved ? std::optional(saved->orders) : std::nullopt});
    m_tableCheckTimer.start();
    if (!m_config.dryRun) {
        m_statusServer = std::make_unique<StatusServer>(m_config.stateDir, [this] { return statusNow(); });
        if (!m_statusServer->listen(&error))
            qCWarning(lcAgent).noquote() << error;
    }
    m_link->start();
}

void Agent::stop() {
    handle(AgentEvents::Stopping{});
}

void Agent::handle(const AgentEvent& event) {
    AgentStep step = AgentCore::step(m_state, event, m_effects.clock());
    // Stored first: an action may bring the next event at once (the link's end, say).
    m_state = std::move(step.state);
    for (const AgentAction& action : std::as_const(step.actions))
        carryOut(action);
}

void Agent::carryOut(const AgentAction& action) {
    using Kind = AgentAction::Kind;
    switch (action.kind) {
    case Kind::ApplyRules:
        applyRules(action);
        break;
    case Kind::RemoveRules:
        m_effects.removeRuleset();
        break;
    case Kind::StartDns:
        m_effects.startDns({.whiteList = action.entries,
                            .internetOff = action.internetOff,
                            .consoleHost = m_config.consoleHost,
                            .localNetworks = localNetworks(m_config),
                            .directory = m_config.stateDir});
        break;
    case Kind::StopDns:
        m_effects.stopDns();
        break;
    case Kind::Report:
        m_link->send(encodeStatusReport(action.report));
        break;
    case Kind::Ask:
        m_link->send(encodeRequest(action.request));
        break;
    case Kind::NotifyUser:
        m_effects.notifyUser(action.uid, action.text, action.body);
        break;
    case Kind::NotifyEveryone:
        notifyEveryone(action.text, action.body);
        break;
    case Kind::LockSessions:
        m_effects.lockSessions(action.lock);
        break;
    case Kind::SetBlockList:
        m_blocker->setBlockList(action.entries);
        break;
    case Kind::Save:
        save();
        break;
    case Kind::RemoveState:
        m_effects.removeState();
        break;
    case Kind::DisableUnit:
        m_effects.disableUnit();
        break;
    case Kind::ArmBoundary:
        m_boundaryTimer.stop();
        if (action.waitMs >= 0)
            m_boundaryTimer.start(std::chrono::milliseconds(action.waitMs));
        break;
    case Kind::StopWork:
        m_boundaryTimer.stop();
        m_retryRulesTimer.stop();
        m_tableCheckTimer.stop();
        m_link->stop();
        break;
    case Kind::Exit:
        emit finished(action.exitCode);
        break;
    }
}

void Agent::lookUpConsole() {
    QHostInfo::lookupHost(m_config.consoleHost, this, [this](const QHostInfo& info) {
        if (info.addresses().isEmpty()) {
            // At boot the agent starts before the network: the name resolves only later.
            QTimer::singleShot(kConsoleLookupRetryMs, this, &Agent::lookUpConsole);
            return;
        }
        m_consoleAddresses.append(info.addresses());
        handle(AgentEvents::RulesInputChanged{});
    });
}

void Agent::onMessage(const QString& message) {
    const OrderParse parse = parseOrder(message);
    if (!parse.order) {
        qCWarning(lcAgent).noquote() << "ignored" << message.left(1) << "from the console:" << parse.error;
        return;
    }
    m_lastContact = QDateTime::currentDateTime();
    handle(AgentEvents::OrderReceived{.order = *parse.order});
}

void Agent::onConnected() {
    const QHostAddress peer = m_link->peerAddress();
    const bool isNew = !peer.isNull() && !m_consoleAddresses.contains(peer);
    if (isNew)
        m_consoleAddresses.append(peer);
    handle(AgentEvents::Connected{.addressIsNew = isNew});
}

void Agent::checkTable() {
    bool intact = true;
    if (!m_appliedScript.isEmpty() && !m_retryRulesTimer.isActive()) {
        const std::optional<QString> inForce = m_effects.rulesetInForce();
        intact = inForce == m_appliedListing;
        if (!intact)
            qCWarning(lcAgent)
                << (inForce ? "the table inet kestrava was changed outside the agent; putting it back"
                            : "the table inet kestrava was removed outside the agent; putting it back");
    }
    handle(AgentEvents::TableChecked{.intact = intact});
}

void Agent::applyRules(const AgentAction& rules) {
    m_retryRulesTimer.stop();
    if (!rules.restricted) {
        if (!m_appliedScript.isEmpty() && m_effects.removeRuleset())
            m_appliedScript.clear();
        return;
    }
    m_reapply = m_reapply || rules.reapply;
    m_flushDnsSets = m_flushDnsSets || rules.flushDnsSets;
    RulesetInput input;
    input.internetOff = rules.internetOff;
    input.localNetworks = localNetworks(m_config);
    input.alwaysAllow = Cidr::parseList(m_config.alwaysAllow).value_or(QList<Cidr>());
    // DNS cannot vouch for a white-listed address; it is allowed as it stands, on the web ports.
    for (const QString& entry : rules.entries) {
        if (const auto address = Cidr::parse(entry.trimmed().section(QLatin1Char('/'), 0, 0)))
            input.whiteListAddresses.append(*address);
    }
    input.localAccess = m_config.localAccess;
    input.consoleAddresses = m_consoleAddresses;
    input.consolePorts = m_link->allowedPorts();
    for (const QString& resolver : m_effects.resolvers())
        input.resolvers.append(QHostAddress(resolver));
    input.controlledPorts = rules.ports;
    // While internet is off, DNS stays pointed at the forwarder during its restarts: a query then fails
    // for a moment instead of reaching a resolver that answers every name.
    const Effects::DnsState dns = m_effects.dnsState();
    input.dnsForwarderUp = rules.dnsRedirect && (dns.up || (input.internetOff && dns.wanted));
    input.dnsForwarderUid = dns.uid;
    input.dnsForwarderPort = DnsForwarder::kPort;
    input.flushDnsSets = m_flushDnsSets;
    const QString script = RulesetBuilder::ruleset(input);
    if (script == m_appliedScript && !m_reapply)
        return;
    if (!m_effects.applyRuleset(script)) {
        // The old table stays in force; try again shortly.
        m_retryRulesTimer.start(kRulesRetryMs);
        return;
    }
    m_appliedScript = script;
    m_appliedListing = m_effects.rulesetInForce().value_or(QString());
    m_reapply = false;
    m_flushDnsSets = false;
}

void Agent::notifyEveryone(const QString& summary, const QString& body) {
    const uid_t uidMin = m_effects.uidMin();
    for (const uid_t uid : m_effects.sessionUsers()) {
        if (uid >= uidMin)
            m_effects.notifyUser(uid, summary, body);
    }
}

void Agent::save() {
    QString error;
    if (m_effects.saveState(currentState(), &error)) {
        if (!m_saveError.isEmpty())
            qCInfo(lcAgent) << "the state is saved again";
        m_saveError.clear();
        return;
    }
    // Once per failure, not at every order: enforcement goes on from memory.
    if (m_saveError.isEmpty())
        qCWarning(lcAgent).noquote() << error + QStringLiteral("; the orders stay in force but would not "
                                                               "survive a restart");
    m_saveError = error;
}

SavedState Agent::currentState() const {
    SavedState state;
    state.orders = m_state.orders;
    state.link.connected = m_link->isConnected();
    state.link.console = m_link->consoleText();
    state.link.lastContact = m_lastContact;
    return state;
}

QString Agent::statusNow() const {
    return statusText(currentState(), QDateTime::currentDateTime()) +
           QStringLiteral("Saved:        %1\n")
               .arg(m_saveError.isEmpty()
                        ? QStringLiteral("yes")
                        : QStringLiteral("no, the state in force could not be saved: ") + m_saveError);
}

} // namespace kestrava::agent
