#include "agent/state/StatusText.h"

#include "agent/policy/ConsoleClock.h"
#include "agent/policy/InternetDecision.h"
#include "protocol/ConsoleTimeText.h"

namespace kestrava::agent {

namespace {

QString policyText(const Orders& orders) {
    if (!orders.heardFromConsole)
        return QStringLiteral("none (never heard from a console)");
    const Schedule& schedule = orders.schedule;
    switch (schedule.type) {
    case Schedule::Type::None:
        return QStringLiteral("none");
    case Schedule::Type::OnOff:
        return schedule.internetOn ? QStringLiteral("internet on") : QStringLiteral("internet off");
    case Schedule::Type::Ranges:
        return QStringLiteral("schedule of %1 range(s), internet %2 inside them")
            .arg(schedule.ranges.size())
            .arg(schedule.blockInRanges ? QStringLiteral("off") : QStringLiteral("on"));
    case Schedule::Type::Timer:
        return QStringLiteral("%1 timer until %2")
            .arg(schedule.timerType == u'N' ? QStringLiteral("ON") : QStringLiteral("OFF"),
                 schedule.timerEnd.toString(QStringLiteral("M/d/yyyy h:mm:ss AP")));
    }
    return {};
}

} // namespace

QString statusText(const SavedState& state, const QDateTime& localNow) {
    const Orders& orders = state.orders;
    const ClockReading reading{.monotonicMs = 0,
                               .local = ConsoleTimeText::naive(localNow.date(), localNow.time())};
    ConsoleClock clock;
    clock.startFromOffset(orders.consoleOffsetMs, reading);
    const QDateTime consoleNow = clock.now(reading);
    const Decision decision = orders.heardFromConsole ? decide(orders.schedule, consoleNow) : Decision{};
    const bool on = !decision.imposed || decision.internetOn;
    QString ports;
    for (int port : orders.settings.ports) {
        if (port != 0)
            ports += (ports.isEmpty() ? QString() : QStringLiteral(", ")) + QString::number(port);
    }
    const QString lastContact = state.link.lastContact.isValid()
                                    ? state.link.lastContact.toString(QStringLiteral("M/d/yyyy h:mm:ss AP"))
                                    : QStringLiteral("never");
    QStringList lines{
        QStringLiteral("Console:      %1 (%2; last message %3)")
            .arg(state.link.console,
                 state.link.connected ? QStringLiteral("connected") : QStringLiteral("not connected"),
                 lastContact),
        QStringLiteral("Policy:       %1").arg(policyText(orders)),
        QStringLiteral("Internet:     %1").arg(on ? QStringLiteral("on") : QStringLiteral("off")),
        QStringLiteral("Next change:  %1")
            .arg(decision.nextChange ? decision.nextChange->toString(QStringLiteral("M/d/yyyy h:mm:ss AP"))
                                     : QStringLiteral("none known")),
        QStringLiteral("White list:   %1 name(s); block list: %2 program(s); controlled ports: %3")
            .arg(orders.whiteList.size())
            .arg(orders.blockList.size())
            .arg(ports.isEmpty() ? QStringLiteral("none") : ports),
        QStringLiteral("Screen lock:  %1; notifications %2")
            .arg(orders.screenLocked ? QStringLiteral("on") : QStringLiteral("off"),
                 orders.notificationsVisible ? QStringLiteral("shown") : QStringLiteral("hidden")),
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace kestrava::agent
