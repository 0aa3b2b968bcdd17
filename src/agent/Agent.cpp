#include "Agent.h"

#include "enforce/Cidr.h"
#include "enforce/DnsForwarder.h"
#include "enforce/LocalNetworks.h"
#include "enforce/RulesetBuilder.h"
#include "link/ConsoleLink.h"
#include "policy/NoticeText.h"
#include "procs/ExecWatcher.h"
#include "procs/InstalledPrograms.h"
#include "procs/LoginDefs.h"
#include "procs/ProgramBlocker.h"
#include "protocol/ConsoleOrder.h"
#include "protocol/Messages.h"
#include "protocol/Requests.h"
#include "state/ConsolePin.h"
#include "state/StatusServer.h"
#include "state/StatusText.h"
#include "system/Effects.h"
#include "tls/Fingerprint.h"
#include "tls/TlsIdentity.h"

#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAgent, "kestrava.agent")

namespace kestrava::agent {

namespace {

// A timer cannot be armed further than this; a longer wait is taken in steps.
constexpr qint64 kLongestWaitMs = 6LL * 3600 * 1000;
constexpr int kRulesRetryMs = 5000;
// A table flushed by hand (or by `systemctl restart nftables`) is back well within 30 s.
constexpr int kTableCheckMs = 10000;
constexpr int kConsoleLookupRetryMs = 10000;

QList<Cidr> localNetworks(const AgentConfig& config) {
    return config.localNetworks.isEmpty() ? LocalNetworks::defaults()
                                          : Cidr::parseList(config.localNetworks).value_or(QList<Cidr>());
}

} // namespace

Agent::Agent(AgentConfig config, Effects& effects, std::unique_ptr<DnsForwarder> dnsForwarder,
             const TlsIdentity* identity, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_effects(effects)
    , m_dns(std::move(dnsForwarder))
    , m_stateFile(m_config.stateDir) {
    m_uidMin = LoginDefs::uidMin();
    m_link = std::make_unique<ConsoleLink>(m_config.consoleHost, static_cast<quint16>(m_config.consolePort),
                                           m_config.identifier, m_config.name);
    if (identity) {
        qCInfo(lcAgent).noquote() << (identity->created ? "made its own key, fingerprint"
                                                        : "own key fingerprint")
                                  << Fingerprint::text(identity->certificate);
        const auto tlsPort = static_cast<quint16>(m_config.tlsPort());
        if (m_config.consoleFingerprint.isEmpty())
            m_link->useTls(*identity, tlsPort, ConsolePin(m_config.stateDir, m_config.dryRun));
        else
            m_link->useTls(*identity, tlsPort, m_config.consoleFingerprint);
    }
    m_blocker = std::make_unique<ProgramBlocker>(m_effects, m_uidMin);
    m_execWatcher = std::make_unique<ExecWatcher>();
    m_blocker->setExecWatcher(m_execWatcher.get());
    if (m_config.userPrograms == UserPrograms::Installed) {
        // The blocker's extra check: what it names ends as a blocked program does, its reason the notice.
        m_installedPrograms = std::make_unique<InstalledPrograms>(m_uidMin);
        m_blocker->setExtraCheck([checker = m_installedPrograms.get()](const ProcessInfo& process) {
            return checker->check(process);
        });
        qCInfo(lcAgent) << "user_programs = installed: users' processes may run installed code only";
    }
    m_boundaryTimer.setSingleShot(true);
    m_retryRulesTimer.setSingleShot(true);
    connect(&m_boundaryTimer, &QTimer::timeout, this, &Agent::evaluate);
    connect(&m_retryRulesTimer, &QTimer::timeout, this, &Agent::applyRules);
    m_tableCheckTimer.setInterval(kTableCheckMs);
    connect(&m_tableCheckTimer, &QTimer::timeout, this, &Agent::checkTable);
    connect(m_link.get(), &ConsoleLink::messageReceived, this, &Agent::handleMessage);
    connect(m_link.get(), &ConsoleLink::connected, this, &Agent::onConnected);
    connect(m_link.get(), &ConsoleLink::disconnected, this, &Agent::onDisconnected);
    connect(m_link.get(), &ConsoleLink::pinChanged, this, &Agent::applyRules);
    connect(m_blocker.get(), &ProgramBlocker::programEnded, this, &Agent::onProgramEnded);
    if (m_dns) {
        connect(m_dns.get(), &DnsForwarder::up, this, &Agent::applyRules);
        connect(m_dns.get(), &DnsForwarder::down, this, &Agent::applyRules);
    }
}

Agent::~Agent() = default;

void Agent::start() {
    restoreState();
    const QHostAddress literal(m_config.consoleHost);
    if (!literal.isNull()) {
        m_consoleAddresses.append(literal);
    } else {
        lookUpConsole();
    }
    evaluate();
    m_tableCheckTimer.start();
    if (!m_config.dryRun) {
        m_statusServer = std::make_unique<StatusServer>(m_config.stateDir, [this] { return statusNow(); });
        QString error;
        if (!m_statusServer->listen(&error))
            qCWarning(lcAgent).noquote() << error;
    }
    m_link->start();
}

void Agent::lookUpConsole() {
    QHostInfo::lookupHost(m_config.consoleHost, this, [this](const QHostInfo& info) {
        if (info.addresses().isEmpty()) {
            // At boot the agent starts before the network: the name resolves only later.
            QTimer::singleShot(kConsoleLookupRetryMs, this, &Agent::lookUpConsole);
            return;
        }
        m_consoleAddresses.append(info.addresses());
        applyRules();
    });
}

void Agent::stop() {
    // The rules stay in force without the agent, but DNS must not point at a forwarder that goes with it.
    m_stopping = true;
    m_boundaryTimer.stop();
    m_retryRulesTimer.stop();
    m_tableCheckTimer.stop();
    m_link->stop();
    if (m_appliedScript.isEmpty())
        return;
    applyRules();
    save();
}

void Agent::restoreState() {
    QString error;
    const auto saved = m_stateFile.load(&error);
    if (!error.isEmpty())
        qCWarning(lcAgent).noquote() << error;
    if (!saved) {
        qCInfo(lcAgent) << "no saved policy: nothing is imposed until the console sends one";
        return;
    }
    m_orders = saved->orders;
    m_clock.startFromOffset(m_orders.consoleOffsetMs);
    m_blocker->setBlockList(m_orders.blockList);
    if (m_orders.screenLocked)
        m_effects.lockSessions(true);
    qCInfo(lcAgent) << "restored the saved policy from" << m_stateFile.path();
}

void Agent::onConnected() {
    // The address actually reached stays reachable when the internet is off, whatever DNS said.
    const QHostAddress peer = m_link->peerAddress();
    if (!peer.isNull() && !m_consoleAddresses.contains(peer)) {
        m_consoleAddresses.append(peer);
        applyRules();
    }
    save();
}

void Agent::onDisconnected() {
    if (m_stopping)
        return;
    qCInfo(lcAgent) << "the console is away; the last policy stays in force";
    save();
}

void Agent::handleMessage(const QString& message) {
    const OrderParse parse = parseOrder(message);
    if (!parse.order) {
        qCWarning(lcAgent).noquote() << "ignored" << message.left(1) << "from the console:" << parse.error;
        return;
    }
    const ConsoleOrder& order = *parse.order;
    if (!m_orders.heardFromConsole) {
        m_orders.heardFromConsole = true;
        startDns();
    }
    m_lastContact = QDateTime::currentDateTime();
    switch (order.kind) {
    case MessageKind::Schedule:
        // Every schedule and settings order writes the table again, also when a hand flush left it out.
        m_reapply = true;
        handleSchedule(order.schedule);
        break;
    case MessageKind::Settings:
        m_reapply = true;
        m_orders.settings = order.settings;
        // The blank-screen flag comes only with the answer to our own request.
        if (order.settings.hasBlankFlag && order.settings.blankScreen != m_orders.screenLocked) {
            m_orders.screenLocked = order.settings.blankScreen;
            m_effects.lockSessions(m_orders.screenLocked);
        }
        applyRules();
        break;
    case MessageKind::WhiteList:
        for (const QString& old : std::as_const(m_orders.whiteList))
            m_flushDnsSets = m_flushDnsSets || !order.entries.contains(old);
        m_orders.whiteList = order.entries;
        if (m_dns)
            startDns();
        applyRules();
        break;
    case MessageKind::BlockList:
        m_orders.blockList = order.entries;
        m_blocker->setBlockList(m_orders.blockList);
        break;
    case MessageKind::Flag:
        handleFlag(order.flagCode);
        break;
    case MessageKind::BlankScreen:
        m_orders.screenLocked = order.blank;
        m_effects.lockSessions(order.blank);
        break;
    case MessageKind::MakeVisible:
    case MessageKind::MakeInvisible:
        m_orders.notificationsVisible = order.kind == MessageKind::MakeVisible;
        qCInfo(lcAgent) << "notifications to users" << (m_orders.notificationsVisible ? "shown" : "hidden");
        break;
    case MessageKind::Terminate:
    case MessageKind::Uninstall:
        teardown(order.kind == MessageKind::Uninstall);
        return;
    default:
        return;
    }
    save();
}

void Agent::handleSchedule(const Schedule& schedule) {
    if (m_clock.receiveStamp(schedule.stamp))
        m_orders.consoleOffsetMs = m_clock.offsetMs();
    const bool wasRanges = m_orders.schedule.type == Schedule::Type::Ranges;
    m_orders.schedule = schedule;
    // A new timer is a new start, reported as such.
    if (schedule.type == Schedule::Type::Timer)
        m_timerRunning = false;
    if (schedule.type == Schedule::Type::Ranges)
        report(StatusReport::ScheduleOn);
    else if (wasRanges)
        report(StatusReport::ScheduleOff);
    evaluate();
}

void Agent::handleFlag(int code) {
    if (code == Messages::kFlagSynchronized) {
        m_link->send(encodeRequest(Request::Settings));
        m_link->send(encodeRequest(Request::WhiteList));
        m_link->send(encodeRequest(Request::BlockList));
        if (m_internetOn)
            report(*m_internetOn ? StatusReport::InternetOn : StatusReport::InternetOff);
        if (m_orders.schedule.type == Schedule::Type::Ranges)
            report(StatusReport::ScheduleOn);
        if (m_timerRunning)
            report(StatusReport::TimerOn);
    } else if (code == Messages::kFlagMoved) {
        m_link->send(encodeRequest(Request::WhiteList));
        m_link->send(encodeRequest(Request::BlockList));
    }
}

void Agent::evaluate() {
    const QDateTime now = m_clock.now();
    const Decision decision = m_orders.heardFromConsole ? decide(m_orders.schedule, now) : Decision{};
    const bool timerRunning = m_orders.schedule.type == Schedule::Type::Timer &&
                              m_orders.schedule.timerStart <= now && now < m_orders.schedule.timerEnd;
    if (timerRunning != m_timerRunning) {
        m_timerRunning = timerRunning;
        report(timerRunning ? StatusReport::TimerOn : StatusReport::TimerOff);
    }
    const bool on = !decision.imposed || decision.internetOn;
    const bool first = !m_internetOn;
    const bool changed = first || *m_internetOn != on;
    m_internetOn = on;
    startDns();
    applyRules();
    if (changed) {
        const QString notice = internetNotice(on, decision.nextChange, now);
        qCInfo(lcAgent).noquote() << notice;
        report(on ? StatusReport::InternetOn : StatusReport::InternetOff);
        // At start, an open internet is no news.
        if (!first || !on)
            notifyEveryone(QStringLiteral("Kestrava"), notice);
    }
    m_boundaryTimer.stop();
    if (decision.nextChange) {
        const qint64 wait = std::clamp<qint64>(now.msecsTo(*decision.nextChange), 0, kLongestWaitMs);
        m_boundaryTimer.start(std::chrono::milliseconds(wait + 1));
    }
}

void Agent::applyRules() {
    m_retryRulesTimer.stop();
    if (!m_orders.heardFromConsole) {
        // A computer that never heard from a console is not restricted.
        if (!m_appliedScript.isEmpty() && m_effects.removeRuleset())
            m_appliedScript.clear();
        return;
    }
    RulesetInput input;
    input.internetOff = m_internetOn && !*m_internetOn;
    input.localNetworks = localNetworks(m_config);
    input.alwaysAllow = Cidr::parseList(m_config.alwaysAllow).value_or(QList<Cidr>());
    // DNS cannot vouch for a white-listed address; it is allowed as it stands, on the web ports.
    for (const QString& entry : std::as_const(m_orders.whiteList)) {
        if (const auto address = Cidr::parse(entry.trimmed().section(QLatin1Char('/'), 0, 0)))
            input.whiteListAddresses.append(*address);
    }
    input.localAccess = m_config.localAccess;
    input.consoleAddresses = m_consoleAddresses;
    input.consolePorts = m_link->allowedPorts();
    QFile resolvConf(DnsForwarder::resolvConfPath());
    if (resolvConf.open(QIODevice::ReadOnly)) {
        for (const QString& resolver :
             DnsForwarder::upstreamResolvers(QString::fromUtf8(resolvConf.readAll())))
            input.resolvers.append(QHostAddress(resolver));
    }
    input.controlledPorts = m_orders.settings.ports;
    // While internet is off, DNS stays pointed at the forwarder during its restarts: a query then fails
    // for a moment instead of reaching a resolver that answers every name.
    input.dnsForwarderUp =
        m_dns && !m_stopping && (m_dns->isUp() || (input.internetOff && m_dns->isWanted()));
    input.dnsForwarderUid = m_dns ? m_dns->uid() : 0;
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

void Agent::checkTable() {
    // Resolvers may have changed meanwhile: dnsmasq and the rules follow resolv.conf.
    startDns();
    applyRules();
    if (m_appliedScript.isEmpty() || m_stopping || m_retryRulesTimer.isActive())
        return;
    const std::optional<QString> inForce = m_effects.rulesetInForce();
    if (inForce == m_appliedListing)
        return;
    qCWarning(lcAgent) << (inForce
                               ? "the table inet kestrava was changed outside the agent; putting it back"
                               : "the table inet kestrava was removed outside the agent; putting it back");
    m_reapply = true;
    applyRules();
}

void Agent::startDns() {
    // resolv.conf is read afresh each time; dnsmasq restarts only when its configuration changes.
    if (m_dns && m_orders.heardFromConsole)
        m_dns->start(DnsForwarder::systemConfig({.whiteList = m_orders.whiteList,
                                                 .internetOff = m_internetOn && !*m_internetOn,
                                                 .consoleHost = m_config.consoleHost,
                                                 .localNetworks = localNetworks(m_config),
                                                 .directory = m_config.stateDir}));
}

void Agent::report(StatusReport code) {
    m_link->send(encodeStatusReport(code));
}

void Agent::notifyEveryone(const QString& summary, const QString& body) {
    if (!m_orders.notificationsVisible)
        return;
    const QStringList users = QDir(QStringLiteral("/run/user")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& user : users) {
        bool ok = false;
        const uint uid = user.toUInt(&ok);
        if (ok && uid >= static_cast<uint>(m_uidMin))
            m_effects.notifyUser(uid, summary, body);
    }
}

void Agent::onProgramEnded(uid_t uid, const QString& program) {
    if (m_orders.notificationsVisible)
        m_effects.notifyUser(uid, program, m_orders.settings.blockMessage);
}

void Agent::teardown(bool uninstall) {
    qCInfo(lcAgent) << (uninstall ? "uninstall ordered by the console" : "stop ordered by the console");
    m_stopping = true;
    m_boundaryTimer.stop();
    m_retryRulesTimer.stop();
    m_tableCheckTimer.stop();
    m_link->stop();
    m_blocker->setBlockList({});
    if (m_dns)
        m_dns->stop();
    if (m_orders.screenLocked)
        m_effects.lockSessions(false);
    m_effects.removeRuleset();
    if (uninstall) {
        m_stateFile.removeAll();
        m_effects.disableUnit();
    } else {
        save();
    }
    emit finished(0);
}

void Agent::save() {
    if (m_config.dryRun)
        return;
    QString error;
    if (m_stateFile.save(currentState(), &error)) {
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
    state.orders = m_orders;
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
