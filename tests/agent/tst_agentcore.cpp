#include "agent/core/AgentCore.h"

#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;
using namespace kestrava::agent;

namespace {

// This computer's clock at the start of every row; the console's runs two hours ahead in "ahead" rows.
const QDateTime kStart(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);

// "S none|on|off|ranges|ranges ahead|timer": a range of an hour either side of the console's time
// with internet off inside; a one-minute ON timer with 8 s left.
Schedule schedule(const QString& what, const QDateTime& local) {
    Schedule schedule;
    const QDateTime console = what.endsWith(u"ahead") ? local.addSecs(7200) : local;
    schedule.stamp = console.addMSecs(ConsoleClock::kStampLeadMs);
    if (what == u"on" || what == u"off") {
        schedule.type = Schedule::Type::OnOff;
        schedule.internetOn = what == u"on";
    } else if (what.startsWith(u"ranges")) {
        schedule.type = Schedule::Type::Ranges;
        schedule.blockInRanges = true;
        schedule.ranges = {{.start = console.time().addSecs(-3600), .stop = console.time().addSecs(3600)}};
    } else if (what == u"timer") {
        schedule.type = Schedule::Type::Timer;
        schedule.timerType = u'N';
        schedule.timerStart = console.addSecs(-52);
        schedule.timerEnd = console.addSecs(8);
    }
    return schedule;
}

// One event of a row, in a few words: an order is its letter (with the flag's code), then its words.
std::optional<AgentEvent> eventFrom(const QString& words, const std::optional<Orders>& saved,
                                    const ClockReading& now) {
    const QString what = words.section(u' ', 0, 0);
    const QStringList rest = words.split(u' ').mid(1);
    const QHash<QChar, MessageKind> kinds{
        {u'S', MessageKind::Schedule},    {u'O', MessageKind::Settings},
        {u'P', MessageKind::WhiteList},   {u'B', MessageKind::BlockList},
        {u'F', MessageKind::Flag},        {u'L', MessageKind::BlankScreen},
        {u'V', MessageKind::MakeVisible}, {u'I', MessageKind::MakeInvisible},
        {u'T', MessageKind::Terminate},   {u'U', MessageKind::Uninstall}};
    if (what.size() <= 2 && kinds.contains(what.front())) {
        // Every member filled: the core reads only those of the order's kind.
        ConsoleOrder order;
        order.kind = kinds.value(what.front());
        order.schedule = schedule(rest.join(u' '), now.local);
        order.settings = {.ports = {80, 0, 0}, .blockMessage = u"Not now"_s};
        order.settings.hasBlankFlag = order.settings.blankScreen = !rest.isEmpty();
        order.entries = rest;
        order.flagCode = what.mid(1).toInt();
        order.blank = rest.value(0) == u"on";
        return AgentEvents::OrderReceived{.order = order};
    }
    const QHash<QString, AgentEvent> plain{{u"connected"_s, AgentEvents::Connected{}},
                                           {u"connected new"_s, AgentEvents::Connected{.addressIsNew = true}},
                                           {u"disconnected"_s, AgentEvents::Disconnected{}},
                                           {u"boundary"_s, AgentEvents::BoundaryReached{}},
                                           {u"input"_s, AgentEvents::RulesInputChanged{}},
                                           {u"table intact"_s, AgentEvents::TableChecked{.intact = true}},
                                           {u"table changed"_s, AgentEvents::TableChecked{.intact = false}},
                                           {u"stop"_s, AgentEvents::Stopping{}}};
    if (what == u"start")
        return AgentEvents::Started{.saved = saved};
    if (what == u"ended")
        return AgentEvents::ProgramEnded{.uid = rest.first().toUInt(), .program = rest.last()};
    return plain.contains(words) ? std::optional(plain.value(words)) : std::nullopt;
}

// What the last run left in the state file: internet off with lists, or nothing imposed but locked.
std::optional<Orders> savedOrders(const QString& what) {
    if (what.isEmpty())
        return std::nullopt;
    Orders orders;
    orders.heardFromConsole = true;
    if (what == u"off") {
        orders.schedule.type = Schedule::Type::OnOff;
        orders.schedule.internetOn = false;
        orders.whiteList = {QStringLiteral("a.org")};
        orders.blockList = {QStringLiteral("game")};
    }
    orders.screenLocked = what == u"locked";
    return orders;
}

// Written "notice off until 11:00 AM" in the rows.
const QString kNotice = QStringLiteral("notify everyone: Kestrava | Internet access is ");

} // namespace

// The agent's decisions event by event: each row plays its events (start: with what it saved, if
// anything; "+9s" moves both clocks on, "wall +1h" the local one alone) and compares the actions of the last
// one.
class TestAgentCore : public QObject {
    Q_OBJECT
private slots:
    void step_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("actions");
        const auto row = [](const char* name, const char* saved, const char* events, const char* actions) {
            QTest::newRow(name) << QString::fromLatin1(saved) << QString::fromLatin1(events)
                                << QString::fromLatin1(actions);
        };
        row("never heard: nothing imposed", "", "start", "rules none;report IN;no boundary");
        row("fail-closed: the saved policy before any console", "off", "start",
            "block game;dns off a.org;rules off;report IF;notice off;no boundary");
        row("a saved lock holds", "locked", "start", "block;lock;dns on;rules on;report IN;no boundary");
        row("the first order starts dns and writes the table", "", "start;S off",
            "dns on;dns off;rules off again;report IF;notice off;no boundary;save");
        row("ranges: SN, then the next boundary", "", "start;S ranges",
            "dns on;report SN;dns off;rules off again;report IF;notice off until 11:00 AM;boundary in "
            "3600001 ms;save");
        row("the console's clock, whatever the local one does", "", "start;S ranges;wall +1h;boundary",
            "dns off;rules off;boundary in 3600001 ms");
        row("ranges replaced: SF", "", "start;S ranges;S on",
            "report SF;dns on;rules on again;report IN;notice on;no boundary;save");
        row("a running timer: TN", "", "start;S timer",
            "dns on;report TN;dns on;rules on again;boundary in 8001 ms;save");
        row("the timer ends by itself", "", "start;S timer;+9s;boundary",
            "report TF;dns off;rules off;report IF;notice off;no boundary");
        row("settings lock by their flag", "", "start;O blank", "dns on;lock;rules on again;save");
        row("settings flag as it is", "", "start;L on;O blank", "rules on again;save");
        row("a name leaves the white list", "", "start;P a.org b.org;P a.org",
            "dns on a.org;rules on flushing dns sets;save");
        row("a name joins the white list", "", "start;P a.org;P a.org b.org",
            "dns on a.org,b.org;rules on;save");
        row("block list", "", "start;B game", "dns on;block game;save");
        row("synchronized: asks, then reports", "", "start;S ranges;F3",
            "ask settings;ask white list;ask block list;report IF;report SN;save");
        row("moved to another group", "", "start;F7", "dns on;ask white list;ask block list;save");
        row("blank screen", "", "start;L on", "dns on;lock;save");
        row("invisible: no notice", "", "start;I;S off",
            "dns off;rules off again;report IF;no boundary;save");
        row("invisible: no block notice", "", "start;I;ended 1001 game", "");
        row("block notice", "", "start;O;ended 1001 game", "notify 1001: game | Not now");
        row("terminate", "", "start;S off;T", "stop work;block;stop dns;remove rules;save;exit 0");
        row("uninstall unlocks", "", "start;L on;U",
            "stop work;block;stop dns;unlock;remove rules;remove state;disable unit;exit 0");
        row("connected at a new address", "", "start;S off;connected new", "rules off;save");
        row("disconnected", "", "start;S off;disconnected", "save");
        row("new rules input", "", "start;S off;input", "rules off");
        row("table changed by hand", "", "start;S off;table changed", "dns off;rules off again");
        row("stop: rules stay, dns redirect goes", "", "start;S off;stop",
            "stop work;rules off without dns;save");
        row("nothing after stop", "", "start;S off;stop;disconnected;boundary;table changed", "");
    }

    void step() {
        QFETCH(QString, saved);
        QFETCH(QString, events);
        QFETCH(QString, actions);
        ClockReading now{.monotonicMs = 5000, .local = kStart};
        AgentState state;
        QStringList done;
        for (const QString& words : events.split(u';')) {
            if (words == u"+9s" || words == u"wall +1h") {
                now = words == u"+9s" ? ClockReading{now.monotonicMs + 9000, now.local.addSecs(9)}
                                      : ClockReading{now.monotonicMs, now.local.addSecs(3600)};
                continue;
            }
            const std::optional<AgentEvent> next = eventFrom(words, savedOrders(saved), now);
            QVERIFY2(next, qPrintable(words));
            AgentStep step = AgentCore::step(state, *next, now);
            state = std::move(step.state);
            done.clear();
            for (const AgentAction& action : std::as_const(step.actions))
                done.append(action.describe().replace(kNotice, QStringLiteral("notice ")));
        }
        QCOMPARE(done.join(u';'), actions);
    }

    // What is saved carries the console's clock, so that a restart without console keeps to it.
    void savesConsoleOffset() {
        const ClockReading now{.monotonicMs = 0, .local = kStart};
        AgentState state = AgentCore::step({}, AgentEvents::Started{}, now).state;
        state = AgentCore::step(state, *eventFrom(QStringLiteral("S ranges ahead"), {}, now), now).state;
        QCOMPARE(state.orders.consoleOffsetMs, 7200000);
        const ClockReading later{.monotonicMs = 0, .local = kStart.addSecs(60)};
        const AgentStep restarted = AgentCore::step({}, AgentEvents::Started{.saved = state.orders}, later);
        QCOMPARE(restarted.state.clock.now(later), kStart.addSecs(7260));
    }
};

QTEST_APPLESS_MAIN(TestAgentCore)
#include "tst_agentcore.moc"
