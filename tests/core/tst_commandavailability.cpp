#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/CommandAvailability.h"
#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"
#include "core/startup/Clock.h"
#include "core/startup/TimeText.h"

#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow(QDate(2026, 3, 13), QTime(14, 0, 0));

// The names of the items that are on, in the order given.
QString on(std::initializer_list<std::pair<bool, const char*>> items) {
    QStringList names;
    for (const auto& [enabled, name] : items)
        if (enabled)
            names << QLatin1String(name);
    return names.join(QLatin1Char(' '));
}

QString marks(const PolicyItems& i) {
    return on({{i.onChecked, "ON"},
               {i.offChecked, "OFF"},
               {i.schedulerChecked, "Scheduler"},
               {i.timerChecked, "Timer"},
               {i.clearEnabled, "clear"},
               {i.inheritEnabled, "inherit"},
               {i.setToClientsEnabled, "toClients"},
               {i.blankScreenChecked, "blank"}});
}

// Group Labs with a system following it (FOLLOW) and one with its own policy (OWN); under the root a
// system following nothing (ROOTFOLLOW) and one with its own policy (ROOTOWN).
struct Fixture {
    TempDatabase temp;
    FixedClock clock{kNow};
    SystemTree tree;
    CommandAvailability availability{temp.db(), clock};

    Fixture() {
        const int id = PolicyRows::addGroup(temp.db(), QStringLiteral("Labs"));
        PolicyRows::addSystem(temp.db(), QStringLiteral("1"), QStringLiteral("FOLLOW"), id);
        PolicyRows::addSystem(temp.db(), QStringLiteral("2"), QStringLiteral("OWN"), id, true);
        PolicyRows::addSystem(temp.db(), QStringLiteral("3"), QStringLiteral("ROOTFOLLOW"), 0);
        PolicyRows::addSystem(temp.db(), QStringLiteral("4"), QStringLiteral("ROOTOWN"), 0, true);
        Load_Systems_Tree(temp.db(), tree);
    }
    TreeNode* node(const QString& text) const {
        for (TreeNode* n : tree.nodesInOrder())
            if (n->text == text)
                return n;
        return nullptr;
    }
};

} // namespace

class TestCommandAvailability : public QObject {
    Q_OBJECT
private slots:
    void popupAndToolsMenu_data();
    void popupAndToolsMenu();
};

namespace {

void row(const char* name, const QString& selected, const QString& setup, const QString& popup,
         const QString& expected, const QString& tools = u"same"_s) {
    QTest::newRow(name) << selected << setup << popup << expected << tools;
}

} // namespace

// The selected node ("none" for nothing) after SQL run on the Fixture's rows, the popup's commands that
// show (the toolbar's and File menu's follow from the kind of node) and the check marks and enabled
// policy commands of both the popup and the Tools menu.
void TestCommandAvailability::popupAndToolsMenu_data() {
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("popup");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("tools");
    const QString group = u"policy toClients clear node lists service"_s;
    const QString system = u"policy inherit clear node"_s;
    const auto labs = [](const QString& set) { return u"UPDATE Group_Table SET "_s + set; };
    const auto timer = [&](int startMinutes) {
        return labs(u"Schedule_Type=3, Timer_Type='N', Timer_Period='00:30', Timer_Starttime='"_s +
                    TimeText::storedDateTime(kNow.addSecs(startMinutes * 60)) + u'\'');
    };
    row("nothing", u"none"_s, {}, u"newGroup refresh"_s, {});
    row("root", u"root"_s, {}, {}, {});
    row("group without policy", u"Labs"_s, {}, group, u"toClients"_s);
    row("group on", u"Labs"_s, labs(u"Schedule_Type=1, OnInternet=1"_s), group, u"ON clear toClients"_s);
    row("group off", u"Labs"_s, labs(u"Schedule_Type=1"_s), group, u"OFF clear toClients"_s);
    row("group scheduler", u"Labs"_s, labs(u"Schedule_Type=2"_s), group, u"Scheduler clear toClients"_s);
    // When a timer runs is the stored timer's rule, tested with the policy explanation; one of each here.
    row("timer running", u"Labs"_s, timer(-10), group, u"Timer clear toClients"_s);
    row("ON timer over", u"Labs"_s, timer(-30), group, u"OFF clear toClients"_s);
    row("ON timer not started", u"Labs"_s, timer(5), group, u"OFF clear toClients"_s);
    row("group set as a whole", u"Labs"_s, labs(u"Apply_Groupwise_Settings=1"_s), group, {});
    row("group's blank screen", u"Labs"_s, labs(u"Blank_Screen=1"_s), group, u"toClients blank"_s);
    row("system follows group", u"FOLLOW"_s, labs(u"Schedule_Type=2"_s), system, u"Scheduler clear"_s);
    // The Tools menu reads the group the database names, the popup the one the tree shows.
    row("system moved out of its group meanwhile", u"FOLLOW"_s,
        u"UPDATE System_Table SET Group_ID=0 WHERE System_Name='FOLLOW'\n"_s + labs(u"Schedule_Type=2"_s),
        system, u"Scheduler clear"_s, u"clear"_s);
    row("system follows group without policy", u"FOLLOW"_s, {}, system, {});
    row("system connected", u"FOLLOW"_s, u"connect"_s, system + u" service"_s, {});
    row("system's blank screen", u"FOLLOW"_s,
        u"UPDATE System_Table SET Blank_Screen=1 WHERE System_Name='FOLLOW'"_s, system, u"blank"_s);
    row("system's own in a group", u"OWN"_s,
        u"UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Name='OWN'"_s, system,
        u"ON clear inherit"_s);
    row("system's own without policy", u"OWN"_s, {}, system, u"inherit"_s);
    row("system's own under the root", u"ROOTOWN"_s,
        u"UPDATE System_Table SET Schedule_Type=1 WHERE System_Name='ROOTOWN'"_s, system, u"OFF clear"_s);
    row("system under the root following nothing", u"ROOTFOLLOW"_s,
        u"UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Name='ROOTFOLLOW'"_s, system,
        u"clear"_s);
}

void TestCommandAvailability::popupAndToolsMenu() {
    QFETCH(QString, selected);
    QFETCH(QString, setup);
    QFETCH(QString, popup);
    QFETCH(QString, expected);
    QFETCH(QString, tools);
    Fixture f;
    TreeNode* node = selected == u"none" ? nullptr : selected == u"root" ? f.tree.root() : f.node(selected);
    if (setup == u"connect")
        f.tree.setImages(node, NodeImage::SystemOnline, NodeImage::SystemOnline);
    else
        for (const QString& sql : setup.split(u'\n', Qt::SkipEmptyParts))
            f.temp.db().exec(sql);
    const QString key = node ? node->key : QString();
    const PopupVisibility v = CommandAvailability::popupVisibility(node);
    const ToolbarPolicyButtons b = CommandAvailability::Set_Toolbar_State(selectionKindOf(key));
    const FileMenuItems m = CommandAvailability::fileMenuState(key);
    const QStringList menus{u""_s, u""_s,
                            u" / internet scheduler timer white blocker"
                            " / delete white blocker properties rename synchronise"_s,
                            u" / internet scheduler timer / delete properties rename synchronise"_s};
    QCOMPARE(on({{v.policy, "policy"},
                 {v.setToClients, "toClients"},
                 {v.inherit, "inherit"},
                 {v.clear, "clear"},
                 {v.addNewGroup, "newGroup"},
                 {v.nodeCommands, "node"},
                 {v.groupLists, "lists"},
                 {v.refresh, "refresh"},
                 {v.service, "service"}}) +
                 on({{b.internetSetting, " / internet"},
                     {b.scheduler, "scheduler"},
                     {b.timer, "timer"},
                     {b.whiteList, "white"},
                     {b.appBlocker, "blocker"}}) +
                 on({{m.deleteItem, " / delete"},
                     {m.whiteList, "white"},
                     {m.appBlocker, "blocker"},
                     {m.properties, "properties"},
                     {m.rename, "rename"},
                     {m.synchronise, "synchronise"}}),
             popup + menus[int(selectionKindOf(key))]);
    QCOMPARE(marks(f.availability.popupPolicy(node)), expected);
    const PolicyItems menu =
        f.availability.Set_Tools_Menu_State(key, node && node->parent ? node->parent->key : QString());
    // The Tools menu shows no blank screen mark.
    QCOMPARE(marks(menu), tools == u"same" ? QString(expected).remove(u"blank"_s).trimmed() : tools);
    QCOMPARE(menu.commandsEnabled, node && node != f.tree.root());
}

QTEST_GUILESS_MAIN(TestCommandAvailability)
#include "tst_commandavailability.moc"
