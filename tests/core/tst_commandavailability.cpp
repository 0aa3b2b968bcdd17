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

namespace {

const QDateTime kNow(QDate(2026, 3, 13), QTime(14, 0, 0));

// One policy as the owner's row holds it.
struct Policy {
    int scheduleType = 0;
    bool onInternet = false;
    QString timerType;
    int startMinutes = 0; // timer start relative to now
    QString period;
};

void store(Database& db, const QString& table, const QString& keyColumn, const QString& key,
           const Policy& p) {
    db.exec(QStringLiteral("UPDATE %1 SET Schedule_Type=?, OnInternet=?, Timer_Type=?, Timer_Starttime=?, "
                           "Timer_Period=? WHERE %2=?")
                .arg(table, keyColumn),
            {p.scheduleType, p.onInternet ? 1 : 0, p.timerType,
             TimeText::storedDateTime(kNow.addSecs(p.startMinutes * 60)), p.period, key});
}

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
               {i.setToClientsEnabled, "toClients"}});
}

// Group Labs with a system following it (FOLLOW) and one with its own policy (OWN); under the root a
// system following nothing (ROOTFOLLOW) and one with its own policy (ROOTOWN).
struct Fixture {
    TempDatabase temp;
    FixedClock clock{kNow};
    SystemTree tree;
    CommandAvailability availability{temp.db(), clock};
    QString labs = Keys::Make_Group_Key(QStringLiteral("Labs"));
    QString follow, own, rootFollow, rootOwn;

    Fixture() {
        const int id = PolicyRows::addGroup(temp.db(), QStringLiteral("Labs"));
        follow = PolicyRows::addSystem(temp.db(), QStringLiteral("1"), QStringLiteral("FOLLOW"), id);
        own = PolicyRows::addSystem(temp.db(), QStringLiteral("2"), QStringLiteral("OWN"), id, true);
        rootFollow = PolicyRows::addSystem(temp.db(), QStringLiteral("3"), QStringLiteral("ROOTFOLLOW"), 0);
        rootOwn = PolicyRows::addSystem(temp.db(), QStringLiteral("4"), QStringLiteral("ROOTOWN"), 0, true);
        Load_Systems_Tree(temp.db(), tree);
    }
    QString key(const QString& name) const {
        if (name == QLatin1String("group"))
            return labs;
        if (name == QLatin1String("follow"))
            return follow;
        if (name == QLatin1String("own"))
            return own;
        if (name == QLatin1String("rootFollow"))
            return rootFollow;
        return rootOwn;
    }
    const TreeNode* node(const QString& name) const { return tree.Get_Node_Index_From_Key(key(name)); }
};

} // namespace

class TestCommandAvailability : public QObject {
    Q_OBJECT
private slots:
    void toolbarAndFileMenuFollowKind_data();
    void toolbarAndFileMenuFollowKind();
    void popupVisibility();
    void policyMarks_data();
    void policyMarks();
    void groupSetToClientsFollowsApplyGroupwise();
    void blankScreenMark();
    void toolsMenuFindsGroupByStoredId();
    void toolsMenuWithoutGroupOrSystem();
};

void TestCommandAvailability::toolbarAndFileMenuFollowKind_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("toolbar");
    QTest::addColumn<QString>("fileMenu");
    QTest::newRow("nothing") << 0 << QString() << QString() << QString();
    QTest::newRow("root") << 1 << QStringLiteral("rComputers") << QString() << QString();
    QTest::newRow("group") << 2 << Keys::Make_Group_Key(QStringLiteral("g"))
                           << QStringLiteral("internet scheduler timer white blocker")
                           << QStringLiteral("delete white blocker properties rename synchronise");
    QTest::newRow("system") << 3 << Keys::Make_System_Key(QStringLiteral("1"), QStringLiteral("pc"))
                            << QStringLiteral("internet scheduler timer")
                            << QStringLiteral("delete properties rename synchronise");
}

void TestCommandAvailability::toolbarAndFileMenuFollowKind() {
    QFETCH(int, kind);
    QFETCH(QString, key);
    QFETCH(QString, toolbar);
    QFETCH(QString, fileMenu);
    const ToolbarPolicyButtons b = CommandAvailability::Set_Toolbar_State(static_cast<SelectionKind>(kind));
    const FileMenuItems f = CommandAvailability::fileMenuState(key);
    QCOMPARE(on({{b.internetSetting, "internet"},
                 {b.scheduler, "scheduler"},
                 {b.timer, "timer"},
                 {b.whiteList, "white"},
                 {b.appBlocker, "blocker"}}),
             toolbar);
    QCOMPARE(on({{f.deleteItem, "delete"},
                 {f.whiteList, "white"},
                 {f.appBlocker, "blocker"},
                 {f.properties, "properties"},
                 {f.rename, "rename"},
                 {f.synchronise, "synchronise"}}),
             fileMenu);
}

void TestCommandAvailability::popupVisibility() {
    Fixture f;
    const PopupVisibility nothing = CommandAvailability::popupVisibility(nullptr);
    QVERIFY(nothing.addNewGroup && nothing.refresh);
    QVERIFY(!nothing.policy && !nothing.nodeCommands && !nothing.service && !nothing.clear);

    const PopupVisibility root = CommandAvailability::popupVisibility(f.tree.root());
    QVERIFY(!root.addNewGroup && !root.refresh && !root.policy && !root.nodeCommands);

    const PopupVisibility group = CommandAvailability::popupVisibility(f.node(QStringLiteral("group")));
    QVERIFY(group.policy && group.setToClients && !group.inherit && group.clear && group.nodeCommands);
    QVERIFY(group.groupLists && group.service && !group.addNewGroup && !group.refresh);

    TreeNode* system = f.tree.Get_Node_Index_From_Key(f.follow);
    PopupVisibility shown = CommandAvailability::popupVisibility(system);
    QVERIFY(shown.policy && !shown.setToClients && shown.inherit && shown.clear && shown.nodeCommands);
    QVERIFY(!shown.groupLists && !shown.service);
    f.tree.setImages(system, NodeImage::SystemOnline, NodeImage::SystemOnline);
    QVERIFY(CommandAvailability::popupVisibility(system).service);
}

void TestCommandAvailability::policyMarks_data() {
    QTest::addColumn<QString>("owner");    // whose row holds the policy
    QTest::addColumn<QString>("selected"); // what the popup is asked for
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("timerType");
    QTest::addColumn<int>("startMinutes");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("expected");
    const QString g = QStringLiteral("group");
    QTest::newRow("group without policy")
        << g << g << 0 << false << QString() << 0 << QString() << QStringLiteral("toClients");
    QTest::newRow("group on") << g << g << 1 << true << QString() << 0 << QString()
                              << QStringLiteral("ON clear toClients");
    QTest::newRow("group off") << g << g << 1 << false << QString() << 0 << QString()
                               << QStringLiteral("OFF clear toClients");
    QTest::newRow("group scheduler") << g << g << 2 << false << QString() << 0 << QString()
                                     << QStringLiteral("Scheduler clear toClients");
    // When a timer runs is the stored timer's rule, tested with the policy explanation; one of each here.
    QTest::newRow("timer running") << g << g << 3 << false << QStringLiteral("N") << -10
                                   << QStringLiteral("00:30") << QStringLiteral("Timer clear toClients");
    QTest::newRow("ON timer over") << g << g << 3 << false << QStringLiteral("N") << -30
                                   << QStringLiteral("00:30") << QStringLiteral("OFF clear toClients");
    QTest::newRow("ON timer not started") << g << g << 3 << false << QStringLiteral("N") << 5
                                          << QStringLiteral("00:30") << QStringLiteral("OFF clear toClients");
    QTest::newRow("system follows group") << g << QStringLiteral("follow") << 2 << false << QString() << 0
                                          << QString() << QStringLiteral("Scheduler clear");
    QTest::newRow("system follows group without policy")
        << g << QStringLiteral("follow") << 0 << false << QString() << 0 << QString() << QString();
    QTest::newRow("system's own in a group")
        << QStringLiteral("own") << QStringLiteral("own") << 1 << true << QString() << 0 << QString()
        << QStringLiteral("ON clear inherit");
    QTest::newRow("system's own without policy")
        << QStringLiteral("own") << QStringLiteral("own") << 0 << false << QString() << 0 << QString()
        << QStringLiteral("inherit");
    QTest::newRow("system's own under the root")
        << QStringLiteral("rootOwn") << QStringLiteral("rootOwn") << 1 << false << QString() << 0 << QString()
        << QStringLiteral("OFF clear");
    QTest::newRow("system under the root following nothing")
        << QStringLiteral("rootFollow") << QStringLiteral("rootFollow") << 1 << true << QString() << 0
        << QString() << QStringLiteral("clear");
}

void TestCommandAvailability::policyMarks() {
    QFETCH(QString, owner);
    QFETCH(QString, selected);
    QFETCH(int, type);
    QFETCH(bool, on);
    QFETCH(QString, timerType);
    QFETCH(int, startMinutes);
    QFETCH(QString, period);
    QFETCH(QString, expected);
    Fixture f;
    const Policy policy{type, on, timerType, startMinutes, period};
    if (owner == QLatin1String("group"))
        store(f.temp.db(), QStringLiteral("Group_Table"), QStringLiteral("Group_Key"), f.labs, policy);
    else
        store(f.temp.db(), QStringLiteral("System_Table"), QStringLiteral("System_Key"), f.key(owner),
              policy);

    const TreeNode* node = f.node(selected);
    QCOMPARE(marks(f.availability.popupPolicy(node)), expected);
    const QString parentKey = node->parent ? node->parent->key : QString();
    const PolicyItems tools = f.availability.Set_Tools_Menu_State(node->key, parentKey);
    QCOMPARE(marks(tools), expected);
    QVERIFY(tools.commandsEnabled);
}

void TestCommandAvailability::groupSetToClientsFollowsApplyGroupwise() {
    Fixture f;
    f.temp.db().exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1"));
    QVERIFY(!f.availability.popupPolicy(f.node(QStringLiteral("group"))).setToClientsEnabled);
    QVERIFY(!f.availability.Set_Tools_Menu_State(f.labs, QStringLiteral("rComputers")).setToClientsEnabled);
}

void TestCommandAvailability::blankScreenMark() {
    Fixture f;
    f.temp.db().exec(QStringLiteral("UPDATE System_Table SET Blank_Screen=1 WHERE System_Key=?"), {f.follow});
    QVERIFY(f.availability.popupPolicy(f.node(QStringLiteral("follow"))).blankScreenChecked);
    QVERIFY(!f.availability.popupPolicy(f.node(QStringLiteral("own"))).blankScreenChecked);
    QVERIFY(!f.availability.popupPolicy(f.node(QStringLiteral("group"))).blankScreenChecked);
    f.temp.db().exec(QStringLiteral("UPDATE Group_Table SET Blank_Screen=1"));
    QVERIFY(f.availability.popupPolicy(f.node(QStringLiteral("group"))).blankScreenChecked);
}

void TestCommandAvailability::toolsMenuFindsGroupByStoredId() {
    Fixture f;
    store(f.temp.db(), QStringLiteral("Group_Table"), QStringLiteral("Group_Key"), f.labs,
          {2, false, {}, 0, {}});
    f.temp.db().exec(QStringLiteral("UPDATE System_Table SET Group_ID=0 WHERE System_Key=?"), {f.follow});
    QCOMPARE(marks(f.availability.Set_Tools_Menu_State(f.follow, f.labs)), QStringLiteral("clear"));
    QCOMPARE(marks(f.availability.popupPolicy(f.node(QStringLiteral("follow")))),
             QStringLiteral("Scheduler clear"));
}

void TestCommandAvailability::toolsMenuWithoutGroupOrSystem() {
    Fixture f;
    for (const QString& key : {QString(), QStringLiteral("rComputers"), QStringLiteral("x")}) {
        const PolicyItems items = f.availability.Set_Tools_Menu_State(key, QString());
        QVERIFY(!items.commandsEnabled);
        QCOMPARE(marks(items), QString());
    }
    QCOMPARE(marks(f.availability.popupPolicy(f.tree.root())), QString());
}

QTEST_GUILESS_MAIN(TestCommandAvailability)
#include "tst_commandavailability.moc"
