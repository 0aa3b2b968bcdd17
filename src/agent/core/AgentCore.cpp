#include "agent/core/AgentCore.h"

#include "agent/policy/InternetDecision.h"
#include "agent/policy/NoticeText.h"
#include "protocol/ConsoleTimeText.h"
#include "protocol/Messages.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcCore, "kestrava.agent")

namespace kestrava::agent {

namespace {

using Kind = AgentAction::Kind;

// One event's worth of decisions on the state it was given.
class Stepper {
public:
    Stepper(AgentState& state, const ClockReading& now)
        : m_state(state)
        , m_orders(state.orders)
        , m_now(now) {}

    QList<AgentAction> take() { return std::move(m_actions); }

    void operator()(const AgentEvents::Started& event) {
        if (event.saved) {
            m_orders = *event.saved;
            m_state.clock.startFromOffset(m_orders.consoleOffsetMs, m_now);
            add({.kind = Kind::SetBlockList, .entries = m_orders.blockList});
            if (m_orders.screenLocked)
                add({.kind = Kind::LockSessions, .lock = true});
        }
        evaluate();
    }

    void operator()(const AgentEvents::OrderReceived& event) {
        const ConsoleOrder& order = event.order;
        if (!m_orders.heardFromConsole) {
            m_orders.heardFromConsole = true;
            startDns();
        }
        switch (order.kind) {
        case MessageKind::Schedule:
            // Every schedule and settings order writes the table again, also when a hand flush left it out.
            m_reapply = true;
            schedule(order.schedule);
            break;
        case MessageKind::Settings:
            m_reapply = true;
            m_orders.settings = order.settings;
            // The blank-screen flag comes only with the answer to our own request.
            if (order.settings.hasBlankFlag && order.settings.blankScreen != m_orders.screenLocked) {
                m_orders.screenLocked = order.settings.blankScreen;
                add({.kind = Kind::LockSessions, .lock = m_orders.screenLocked});
            }
            applyRules();
            break;
        case MessageKind::WhiteList:
            for (const QString& old : std::as_const(m_orders.whiteList))
                m_flushDnsSets = m_flushDnsSets || !order.entries.contains(old);
            m_orders.whiteList = order.entries;
            startDns();
            applyRules();
            break;
        case MessageKind::BlockList:
            m_orders.blockList = order.entries;
            add({.kind = Kind::SetBlockList, .entries = m_orders.blockList});
            break;
        case MessageKind::Flag:
            flag(order.flagCode);
            break;
        case MessageKind::BlankScreen:
            m_orders.screenLocked = order.blank;
            add({.kind = Kind::LockSessions, .lock = order.blank});
            break;
        case MessageKind::MakeVisible:
        case MessageKind::MakeInvisible:
            m_orders.notificationsVisible = order.kind == MessageKind::MakeVisible;
            qCInfo(lcCore) << "notifications to users"
                           << (m_orders.notificationsVisible ? "shown" : "hidden");
            break;
        case MessageKind::Terminate:
        case MessageKind::Uninstall:
            teardown(order.kind == MessageKind::Uninstall);
            return;
        default:
            return;
        }
        add({.kind = Kind::Save});
    }

    void operator()(const AgentEvents::Connected& event) {
        // The address actually reached stays reachable when the internet is off, whatever DNS said.
        if (event.addressIsNew)
            applyRules();
        add({.kind = Kind::Save});
    }

    void operator()(const AgentEvents::Disconnected&) {
        if (m_state.stopping)
            return;
        qCInfo(lcCore) << "the console is away; the last policy stays in force";
        add({.kind = Kind::Save});
    }

    void operator()(const AgentEvents::BoundaryReached&) {
        if (!m_state.stopping)
            evaluate();
    }

    void operator()(const AgentEvents::RulesInputChanged&) {
        if (!m_state.stopping)
            applyRules();
    }

    void operator()(const AgentEvents::TableChecked& event) {
        if (m_state.stopping)
            return;
        // Resolvers may have changed meanwhile: dnsmasq and the rules follow resolv.conf.
        startDns();
        m_reapply = !event.intact;
        applyRules();
    }

    void operator()(const AgentEvents::ProgramEnded& event) {
        if (m_orders.notificationsVisible)
            add({.kind = Kind::NotifyUser,
                 .text = event.program,
                 .body = m_orders.settings.blockMessage,
                 .uid = event.uid});
    }

    void operator()(const AgentEvents::Stopping&) {
        // The rules stay in force without the agent, but DNS must not point at a forwarder that goes with it.
        m_state.stopping = true;
        add({.kind = Kind::StopWork});
        if (!m_orders.heardFromConsole)
            return;
        applyRules();
        add({.kind = Kind::Save});
    }

private:
    void add(AgentAction action) { m_actions.append(std::move(action)); }

    bool internetOff() const { return m_state.internetOn && !*m_state.internetOn; }

    void report(StatusReport code) { add({.kind = Kind::Report, .report = code}); }

    void ask(Request request) { add({.kind = Kind::Ask, .request = request}); }

    void schedule(const Schedule& schedule) {
        // A time alone names no moment: the clock stays as it was.
        if (schedule.stamp.isValid() && !ConsoleTimeText::isTimeAlone(schedule.stamp)) {
            m_state.clock.receiveStamp(schedule.stamp, m_now);
            m_orders.consoleOffsetMs = m_state.clock.offsetMs();
        }
        const bool wasRanges = m_orders.schedule.type == Schedule::Type::Ranges;
        m_orders.schedule = schedule;
        // A new timer is a new start, reported as such.
        if (schedule.type == Schedule::Type::Timer)
            m_state.timerRunning = false;
        if (schedule.type == Schedule::Type::Ranges)
            report(StatusReport::ScheduleOn);
        else if (wasRanges)
            report(StatusReport::ScheduleOff);
        evaluate();
    }

    void flag(int code) {
        if (code == Messages::kFlagSynchronized) {
            ask(Request::Settings);
            ask(Request::WhiteList);
            ask(Request::BlockList);
            if (m_state.internetOn)
                report(*m_state.internetOn ? StatusReport::InternetOn : StatusReport::InternetOff);
            if (m_orders.schedule.type == Schedule::Type::Ranges)
                report(StatusReport::ScheduleOn);
            if (m_state.timerRunning)
                report(StatusReport::TimerOn);
        } else if (code == Messages::kFlagMoved) {
            ask(Request::WhiteList);
            ask(Request::BlockList);
        }
    }

    void evaluate() {
        const QDateTime now = m_state.clock.now(m_now);
        const Decision decision = m_orders.heardFromConsole ? decide(m_orders.schedule, now) : Decision{};
        const Schedule& schedule = m_orders.schedule;
        const bool timerRunning =
            schedule.type == Schedule::Type::Timer && schedule.timerStart <= now && now < schedule.timerEnd;
        if (timerRunning != m_state.timerRunning) {
            m_state.timerRunning = timerRunning;
            report(timerRunning ? StatusReport::TimerOn : StatusReport::TimerOff);
        }
        const bool on = !decision.imposed || decision.internetOn;
        const bool first = !m_state.internetOn;
        const bool changed = first || *m_state.internetOn != on;
        m_state.internetOn = on;
        startDns();
        applyRules();
        if (changed) {
            const QString notice = internetNotice(on, decision.nextChange, now);
            qCInfo(lcCore).noquote() << notice;
            report(on ? StatusReport::InternetOn : StatusReport::InternetOff);
            // At start, an open internet is no news.
            if ((!first || !on) && m_orders.notificationsVisible)
                add({.kind = Kind::NotifyEveryone, .text = QStringLiteral("Kestrava"), .body = notice});
        }
        qint64 wait = -1;
        if (decision.nextChange)
            wait = std::clamp<qint64>(now.msecsTo(*decision.nextChange), 0, AgentCore::kLongestWaitMs) + 1;
        add({.kind = Kind::ArmBoundary, .waitMs = wait});
    }

    void startDns() {
        // resolv.conf is read afresh each time; dnsmasq restarts only when its configuration changes.
        if (m_orders.heardFromConsole)
            add({.kind = Kind::StartDns, .internetOff = internetOff(), .entries = m_orders.whiteList});
    }

    void applyRules() {
        // A computer that never heard from a console is not restricted.
        AgentAction rules{.kind = Kind::ApplyRules, .restricted = m_orders.heardFromConsole};
        if (rules.restricted) {
            rules.internetOff = internetOff();
            rules.reapply = m_reapply;
            rules.flushDnsSets = m_flushDnsSets;
            rules.dnsRedirect = !m_state.stopping;
            rules.entries = m_orders.whiteList;
            rules.ports = m_orders.settings.ports;
        }
        m_reapply = false;
        m_flushDnsSets = false;
        add(std::move(rules));
    }

    void teardown(bool uninstall) {
        qCInfo(lcCore) << (uninstall ? "uninstall ordered by the console" : "stop ordered by the console");
        m_state.stopping = true;
        add({.kind = Kind::StopWork});
        add({.kind = Kind::SetBlockList});
        add({.kind = Kind::StopDns});
        if (m_orders.screenLocked)
            add({.kind = Kind::LockSessions, .lock = false});
        add({.kind = Kind::RemoveRules});
        if (uninstall) {
            add({.kind = Kind::RemoveState});
            add({.kind = Kind::DisableUnit});
        } else {
            add({.kind = Kind::Save});
        }
        add({.kind = Kind::Exit, .exitCode = 0});
    }

    AgentState& m_state;
    Orders& m_orders;
    const ClockReading& m_now;
    QList<AgentAction> m_actions;
    bool m_reapply = false;
    bool m_flushDnsSets = false;
};

} // namespace

AgentStep AgentCore::step(AgentState state, const AgentEvent& event, const ClockReading& now) {
    Stepper stepper(state, now);
    std::visit(stepper, event);
    return {.state = std::move(state), .actions = stepper.take()};
}

} // namespace kestrava::agent
