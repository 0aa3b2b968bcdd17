#include "core/AgentCore.h"

#include <QTest>

using namespace kestrava;
using namespace kestrava::agent;

namespace {

// This computer's clock at the start of every row; the console's runs two hours ahead in "ahead" rows.
const QDateTime kStart(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);

ConsoleOrder order(MessageKind kind) {
    ConsoleOrder made;
    made.kind = kind;
    return made;
}

// "S none|on|off|ranges|ranges ahead|timer": a range of an hour either side of the console's time
// with internet off inside; a one-minute ON timer with 8 s left.
ConsoleOrder schedule(const QString& what, const QDateTime& local) {
    ConsoleOrder made = order(MessageKind::Schedule);
    Schedule& schedule = made.schedule;
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
    return made;
}

// One event of a row, in a few words; "+9s" only moves the clocks on.
std::optional<AgentEvent> eventFrom(const QString& words, const std::optional<Orders>& saved,
                                    const ClockReading& now) {
    const QStringList word = words.split(u' ');
    const QStringList rest = word.mid(1);
    const QString& what = word.first();
    const auto received = [](ConsoleOrder made) { return AgentEvents::OrderReceived{.order = made}; };
    if (what == u"start")
        return AgentEvents::Started{.saved = saved};
    if (what == u"S")
        return received(schedule(rest.join(u' '), now.local));
    if (what == u"O") {
        ConsoleOrder made = order(MessageKind::Settings);
        made.settings = {.ports = {80, 0, 0}, .blockMessage = QStringLiteral("Not now")};
        made.settings.hasBlankFlag = made.settings.blankScreen = !rest.isEmpty();
        return received(made);
    }
    if (what == u"P" || what == u"B") {
        ConsoleOrder made = order(what == u"P" ? MessageKind::WhiteList : MessageKind::BlockList);
        made.entries = rest;
        return received(made);
    }
    if (what == u"F3" || what == u"F7") {
        ConsoleOrder made = order(MessageKind::Flag);
        made.flagCode = what.back().digitValue();
        return received(made);
    }
    if (what == u"L") {
        ConsoleOrder made = order(MessageKind::BlankScreen);
        made.blank = rest == QStringList{QStringLiteral("on")};
        return received(made);
    }
    const QHash<QString, MessageKind> letters{{QStringLiteral("V"), MessageKind::MakeVisible},
                                              {QStringLiteral("I"), MessageKind::MakeInvisible},
                                              {QStringLiteral("T"), MessageKind::Terminate},
                                              {QStringLiteral("U"), MessageKind::Uninstall}};
    if (letters.contains(what))
        return received(order(letters.value(what)));
    if (what == u"connected")
        return AgentEvents::Connected{.addressIsNew = !rest.isEmpty()};
    if (what == u"disconnected")
        return AgentEvents::Disconnected{};
    if (what == u"boundary")
        return AgentEvents::BoundaryReached{};
    if (what == u"input")
        return AgentEvents::RulesInputChanged{};
    if (what == u"table")
        return AgentEvents::TableChecked{.intact = rest.first() == u"intact"};
    if (what == u"ended")
        return AgentEvents::ProgramEnded{.uid = rest.first().toUInt(), .program = rest.last()};
    if (what == u"stop")
        return AgentEvents::Stopping{};
    return std::nullopt;
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
// anything; "+9s" moves the clocks on) and compares the actions of the last one.
class TestAgentCore : public QObject {
    Q_OBJECT
private slots:
    void step_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("actions");
        QTest::newRow("never heard: nothing imposed") << QStringLiteral("") << QStringLiteral("start")
                                                      << QStringLiteral("rules none;report IN;no boundary");
        QTest::newRow("fail-closed: the saved policy before any console")
            << QStringLiteral("off") << QStringLiteral("start")
            << QStringLiteral("block game;dns off a.org;rules off;report IF;notice off;no boundary");
        QTest::newRow("a saved lock holds")
            << QStringLiteral("locked") << QStringLiteral("start")
            << QStringLiteral("block;lock;dns on;rules on;report IN;no boundary");
        QTest::newRow("the first order starts dns and writes the table")
            << QStringLiteral("") << QStringLiteral("start;S off")
            << QStringLiteral("dns on;dns off;rules off again;report IF;notice off;no boundary;save");
        QTest::newRow("ranges: SN, then the next boundary")
            << QStringLiteral("") << QStringLiteral("start;S ranges")
            << QStringLiteral("dns on;report SN;dns off;rules off again;report IF;notice off until 11:00 "
                              "AM;boundary in 3600001 ms;save");
        QTest::newRow("ranges on the console's clock")
            << QStringLiteral("") << QStringLiteral("start;S ranges ahead")
            << QStringLiteral("dns on;report SN;dns off;rules off again;report IF;notice off until 1:00 "
                              "PM;boundary in 3600001 ms;save");
        QTest::newRow("ranges replaced: SF")
            << QStringLiteral("") << QStringLiteral("start;S ranges;S on")
            << QStringLiteral("report SF;dns on;rules on again;report IN;notice on;no boundary;save");
        QTest::newRow("a running timer: TN")
            << QStringLiteral("") << QStringLiteral("start;S timer")
            << QStringLiteral("dns on;report TN;dns on;rules on again;boundary in 8001 ms;save");
        QTest::newRow("the timer ends by itself")
            << QStringLiteral("") << QStringLiteral("start;S timer;+9s;boundary")
            << QStringLiteral("report TF;dns off;rules off;report IF;notice off;no boundary");
        QTest::newRow("settings lock by their flag") << QStringLiteral("") << QStringLiteral("start;O blank")
                                                     << QStringLiteral("dns on;lock;rules on again;save");
        QTest::newRow("settings flag as it is") << QStringLiteral("") << QStringLiteral("start;L on;O blank")
                                                << QStringLiteral("rules on again;save");
        QTest::newRow("a name leaves the white list")
            << QStringLiteral("") << QStringLiteral("start;P a.org b.org;P a.org")
            << QStringLiteral("dns on a.org;rules on flushing dns sets;save");
        QTest::newRow("a name joins the white list")
            << QStringLiteral("") << QStringLiteral("start;P a.org;P a.org b.org")
            << QStringLiteral("dns on a.org,b.org;rules on;save");
        QTest::newRow("block list") << QStringLiteral("") << QStringLiteral("start;B game")
                                    << QStringLiteral("dns on;block game;save");
        QTest::newRow("synchronized: asks, then reports")
            << QStringLiteral("") << QStringLiteral("start;S ranges;F3")
            << QStringLiteral("ask settings;ask white list;ask block list;report IF;report SN;save");
        QTest::newRow("synchronized with a timer")
            << QStringLiteral("") << QStringLiteral("start;S timer;F3")
            << QStringLiteral("ask settings;ask white list;ask block list;report IN;report TN;save");
        QTest::newRow("moved to another group")
            << QStringLiteral("") << QStringLiteral("start;F7")
            << QStringLiteral("dns on;ask white list;ask block list;save");
        QTest::newRow("blank screen")
            << QStringLiteral("") << QStringLiteral("start;L on") << QStringLiteral("dns on;lock;save");
        QTest::newRow("invisible: no notice")
            << QStringLiteral("") << QStringLiteral("start;I;S off")
            << QStringLiteral("dns off;rules off again;report IF;no boundary;save");
        QTest::newRow("invisible: no block notice")
            << QStringLiteral("") << QStringLiteral("start;I;ended 1001 game") << QStringLiteral("");
        QTest::newRow("block notice") << QStringLiteral("") << QStringLiteral("start;O;ended 1001 game")
                                      << QStringLiteral("notify 1001: game | Not now");
        QTest::newRow("terminate") << QStringLiteral("") << QStringLiteral("start;S off;T")
                                   << QStringLiteral("stop work;block;stop dns;remove rules;save;exit 0");
        QTest::newRow("uninstall unlocks")
            << QStringLiteral("") << QStringLiteral("start;L on;U")
            << QStringLiteral(
                   "stop work;block;stop dns;unlock;remove rules;remove state;disable unit;exit 0");
        QTest::newRow("connected at a new address")
            << QStringLiteral("") << QStringLiteral("start;S off;connected new")
            << QStringLiteral("rules off;save");
        QTest::newRow("connected") << QStringLiteral("") << QStringLiteral("start;connected")
                                   << QStringLiteral("save");
        QTest::newRow("disconnected")
            << QStringLiteral("") << QStringLiteral("start;S off;disconnected") << QStringLiteral("save");
        QTest::newRow("new rules input")
            << QStringLiteral("") << QStringLiteral("start;S off;input") << QStringLiteral("rules off");
        QTest::newRow("table changed by hand")
            << QStringLiteral("") << QStringLiteral("start;S off;table changed")
            << QStringLiteral("dns off;rules off again");
        QTest::newRow("table intact") << QStringLiteral("") << QStringLiteral("start;S off;table intact")
                                      << QStringLiteral("dns off;rules off");
        QTest::newRow("stop: rules stay, dns redirect goes")
            << QStringLiteral("") << QStringLiteral("start;S off;stop")
            << QStringLiteral("stop work;rules off without dns;save");
        QTest::newRow("stop unrestricted")
            << QStringLiteral("") << QStringLiteral("start;stop") << QStringLiteral("stop work");
        QTest::newRow("nothing after stop")
            << QStringLiteral("") << QStringLiteral("start;S off;stop;disconnected;boundary;table changed")
            << QStringLiteral("");
    }

    void step() {
        QFETCH(QString, saved);
        QFETCH(QString, events);
        QFETCH(QString, actions);
        ClockReading now{.monotonicMs = 5000, .local = kStart};
        AgentState state;
        QStringList done;
        for (const QString& words : events.split(u';')) {
            if (words == u"+9s") {
                now = {.monotonicMs = now.monotonicMs + 9000, .local = now.local.addSecs(9)};
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
