#include "ClientInbox.h"
#include "LinkHarness.h"
#include "MainMenus.h"
#include "MainWindow.h"
#include "PolicyMenuCommands.h"
#include "PolicyRows.h"
#include "RecordingPrompt.h"
#include "SimulatedClient.h"
#include "console/Keys.h"
#include "startup/ConsoleServices.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeView>
#include <QTreeWidget>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

using Kind = RecordingPrompt::Kind;
const QString kStamp = QStringLiteral("S|3/12/2026 10:00:02 AM|");

template <typename T> T* control(QWidget* window, const char* name, int index = -1) {
    for (T* found : window->findChildren<T*>(QLatin1String(name))) {
        if (index < 0 || found->property("index").toInt() == index)
            return found;
    }
    qFatal("no control %s(%d)", name, index);
}

// The main window over a console core. Lab keeps two weekly ranges and an OFF timer of 02:15; pc1
// follows it, pc2 has its own internet on; both are connected.
struct Fixture {
    LinkHarness h;
    RecordingPrompt prompt;
    ConsoleServices services{h.db(), h.tree(), h.clock(), &h.connections(), &h.messenger()};
    std::unique_ptr<MainWindow> window;
    QString labKey = PolicyRows::groupKey(QStringLiteral("Lab"));
    QString pc1, pc2;
    SimulatedClient* c1 = nullptr;
    SimulatedClient* c2 = nullptr;

    Fixture() {
        Database& db = h.db();
        const int lab = PolicyRows::addGroup(db, QStringLiteral("Lab"));
        pc1 = PolicyRows::addSystem(db, QStringLiteral("id1"), QStringLiteral("pc1"), lab);
        pc2 = PolicyRows::addSystem(db, QStringLiteral("id2"), QStringLiteral("pc2"), lab, true);
        db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Key=?"),
                {pc2});
        db.exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=2, Block_Internet=1, Timer_Type='F', "
                               "Timer_Starttime='2026-03-01 08:00:00', Timer_Period='02:15'"));
        PolicyRows::addGroupRange(db, lab, QStringLiteral("08:00 AM,09:00 AM,2,34,0"));
        PolicyRows::addGroupRange(db, lab, QStringLiteral("01:00 PM,02:30 PM,2,34,0"));
        window = std::make_unique<MainWindow>(services);
        window->policyCommands().setPrompt(prompt);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        c1 = h.connectIdentified(QStringLiteral("id1"), QStringLiteral("pc1"));
        c2 = h.connectIdentified(QStringLiteral("id2"), QStringLiteral("pc2"));
        QVERIFY(c1 && c2);
    }
    void select(const QString& key) {
        window->selectNode(h.tree().Get_Node_Index_From_Key(key));
        window->treSystems().setFocus();
        QVERIFY(window->treSystems().hasFocus());
    }
    template <typename T = QDialog> T* opened(const char* name) {
        auto* dialog = window->findChild<T*>(QLatin1String(name));
        if (dialog && !QTest::qWaitForWindowExposed(dialog))
            return nullptr;
        return dialog;
    }
    QVariant value(const QString& sql, const QVariantList& values = {}) { return h.db().scalar(sql, values); }
};

void click(QWidget* widget) {
    QVERIFY(widget->isEnabled());
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, widget->height() / 2));
}

QStringList items(QTreeWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        texts << list->topLevelItem(row)->text(0) + QLatin1Char('-') + list->topLevelItem(row)->text(1);
    return texts;
}

} // namespace

class TestPolicyDialogs : public QObject {
    Q_OBJECT
private slots:
    void scheduleEditorForGroup();
    void scheduleEditorForSystem();
    void scheduleEditorRefusals();
    void scheduleEditorEmptiedListAnsweredNo();
    void timerEditorForGroup();
    void timerEditorForSystem();
    void editorsNeedGroupOrSystem();
    void commandsFromMenus_data();
    void commandsFromMenus();
    void commandErrorIsShown();
};

void TestPolicyDialogs::scheduleEditorForGroup() {
    Fixture f;
    f.select(f.labKey);
    f.window->menus().mnuPUScheduler->trigger();
    QPointer<QDialog> dialog = f.opened("frmSchedule");
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Scheduler - Kestrava"));
    QVERIFY(dialog->windowModality() != Qt::NonModal);
    QCOMPARE(dialog->parentWidget(), f.window.get());
    QCOMPARE(control<QLineEdit>(dialog, "txtGroupName")->text(), QStringLiteral("Lab"));
    QVERIFY(!control<QLineEdit>(dialog, "txtSystemName")->isVisible());
    QVERIFY(!control<QLabel>(dialog, "lblSystem")->isVisible());
    auto* list = control<QTreeWidget>(dialog, "lvwSchedules");
    QCOMPARE(items(list),
             (QStringList{QStringLiteral("08:00 AM-09:00 AM"), QStringLiteral("01:00 PM-02:30 PM")}));
    QCOMPARE(control<QComboBox>(dialog, "cboSchedule")->currentText(), QStringLiteral("Weekly"));
    QVERIFY(control<QGroupBox>(dialog, "fraWeekDays")->isVisible());
    QVERIFY(!control<QGroupBox>(dialog, "fraMonths")->isVisible());
    QVERIFY(control<QCheckBox>(dialog, "chkWeekDays", 1)->isChecked());
    QVERIFY(control<QCheckBox>(dialog, "chkWeekDays", 5)->isChecked());
    QVERIFY(!control<QCheckBox>(dialog, "chkWeekDays", 0)->isChecked());
    QVERIFY(control<QCheckBox>(dialog, "chkBlockInternet")->isChecked());
    auto* cmdApply = control<QPushButton>(dialog, "cmdApply");
    QVERIFY(!cmdApply->isEnabled());

    control<QTimeEdit>(dialog, "dtpkStartTime")->setTime(QTime(18, 0));
    control<QTimeEdit>(dialog, "dtpkStopTime")->setTime(QTime(19, 15));
    click(control<QPushButton>(dialog, "cmdAdd"));
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("06:00 PM"));
    QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("07:15 PM"));
    QVERIFY(cmdApply->isEnabled());

    auto* recurrence = control<QComboBox>(dialog, "cboSchedule");
    recurrence->setFocus();
    QTest::keyClick(recurrence, Qt::Key_Down);
    QCOMPARE(recurrence->currentText(), QStringLiteral("Monthly"));
    QVERIFY(control<QGroupBox>(dialog, "fraMonths")->isVisible());
    QVERIFY(!control<QGroupBox>(dialog, "fraWeekDays")->isVisible());
    click(control<QCheckBox>(dialog, "chkMonths", 0));
    click(control<QCheckBox>(dialog, "chkMonths", 11));
    click(cmdApply);
    QVERIFY(!cmdApply->isEnabled());
    QCOMPARE(f.value(QStringLiteral(
                         "SELECT group_concat(Start_Time || '/' || DailyWeeklyMonthly || '/' || WeekDays "
                         "|| '/' || Months, ',') FROM Group_Scheduler_Table"))
                 .toString(),
             QStringLiteral("08:00 AM/3/0/2049,01:00 PM/3/0/2049,06:00 PM/3/0/2049"));
    const QString payload =
        kStamp + QStringLiteral("2|True|3|08:00 AM|09:00 AM|3|0|2049|01:00 PM|02:30 PM|3|0|2049|"
                                "06:00 PM|07:15 PM|3|0|2049|0|");
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1), QStringList{payload});
    QCOMPARE(receivedBy(f.h, f.c2, f.pc2), QStringList{payload});

    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY(!dialog);
}

void TestPolicyDialogs::scheduleEditorForSystem() {
    Fixture f;
    f.select(f.pc1);
    f.window->menus().mnuToolsScheduler->trigger();
    QPointer<QDialog> dialog = f.opened("frmSchedule");
    QVERIFY(dialog);
    QCOMPARE(control<QLineEdit>(dialog, "txtSystemName")->text(), QStringLiteral("pc1"));
    QCOMPARE(control<QLineEdit>(dialog, "txtGroupName")->text(), QStringLiteral("Lab"));
    QVERIFY(control<QLabel>(dialog, "lblSystem")->isVisible());
    auto* list = control<QTreeWidget>(dialog, "lvwSchedules");
    QCOMPARE(list->topLevelItemCount(), 2);

    // Clicking a range puts it into the pickers; the Delete key removes the selected ones.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(1)).center());
    QCOMPARE(control<QTimeEdit>(dialog, "dtpkStartTime")->time(), QTime(13, 0));
    QCOMPARE(control<QTimeEdit>(dialog, "dtpkStopTime")->time(), QTime(14, 30));
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(items(list), QStringList{QStringLiteral("08:00 AM-09:00 AM")});
    control<QPushButton>(dialog, "cmdAdd")->click();
    QCOMPARE(list->topLevelItemCount(), 2);
    list->topLevelItem(1)->setSelected(true);
    control<QAction>(dialog, "mnuPUDelete")->trigger();
    QCOMPARE(items(list), QStringList{QStringLiteral("08:00 AM-09:00 AM")});
    click(control<QPushButton>(dialog, "cmdApply"));

    QCOMPARE(f.value(QStringLiteral("SELECT Apply_Systemwise_Settings FROM System_Table WHERE System_Key=?"),
                     {f.pc1})
                 .toInt(),
             1);
    QCOMPARE(f.value(QStringLiteral("SELECT count(*) FROM System_Scheduler_Table")).toInt(), 1);
    QCOMPARE(f.value(QStringLiteral("SELECT count(*) FROM Group_Scheduler_Table")).toInt(), 2);
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1),
             QStringList{kStamp + QStringLiteral("2|True|1|08:00 AM|09:00 AM|2|34|0|0|")});
    QCOMPARE(receivedBy(f.h, f.c2, f.pc2), QStringList());
    click(control<QPushButton>(dialog, "cmdClose"));
    QTRY_VERIFY(!dialog);
}

void TestPolicyDialogs::scheduleEditorRefusals() {
    Fixture f;
    f.select(f.labKey);
    f.window->menus().mnuPUScheduler->trigger();
    QDialog* dialog = f.opened("frmSchedule");
    QVERIFY(dialog);
    auto* start = control<QTimeEdit>(dialog, "dtpkStartTime");
    auto* stop = control<QTimeEdit>(dialog, "dtpkStopTime");
    auto* add = control<QPushButton>(dialog, "cmdAdd");
    start->setTime(QTime(22, 0));
    stop->setTime(QTime(2, 0));
    click(add);
    start->setTime(QTime(21, 0));
    stop->setTime(QTime(21, 0));
    click(add);
    QCOMPARE(f.prompt.texts(Kind::Inform),
             QStringList(2, QStringLiteral("Start time should be less than stop time.")));
    for (int hour = 10; hour < 19; ++hour) {
        start->setTime(QTime(hour, 0));
        stop->setTime(QTime(hour, 30));
        click(add);
    }
    QCOMPARE(control<QTreeWidget>(dialog, "lvwSchedules")->topLevelItemCount(), 10);
    QCOMPARE(f.prompt.texts(Kind::Inform).constLast(),
             QStringLiteral("You cannot add more than 10 schedules."));
    QCOMPARE(f.prompt.texts(Kind::Inform).size(), 3);
    QCOMPARE(f.value(QStringLiteral("SELECT count(*) FROM Group_Scheduler_Table")).toInt(), 2);
}

void TestPolicyDialogs::scheduleEditorEmptiedListAnsweredNo() {
    Fixture f;
    f.select(f.labKey);
    f.window->menus().mnuPUScheduler->trigger();
    QDialog* dialog = f.opened("frmSchedule");
    QVERIFY(dialog);
    click(control<QPushButton>(dialog, "cmdClear"));
    QCOMPARE(control<QTreeWidget>(dialog, "lvwSchedules")->topLevelItemCount(), 0);
    QCOMPARE(control<QComboBox>(dialog, "cboSchedule")->currentText(), QStringLiteral("Daily"));
    QVERIFY(control<QGroupBox>(dialog, "fraDaily")->isVisible());
    f.prompt.answer = Prompt::Answer::No;
    click(control<QPushButton>(dialog, "cmdApply"));
    QCOMPARE(f.prompt.entries.size(), 1);
    QCOMPARE(f.prompt.entries[0].text,
             QStringLiteral("You have deleted all the schedules. Do you wish to continue?"));
    QCOMPARE(f.prompt.entries[0].defaultAnswer, Prompt::Answer::Yes);
    QCOMPARE(control<QTreeWidget>(dialog, "lvwSchedules")->topLevelItemCount(), 2);
    QCOMPARE(f.value(QStringLiteral("SELECT Schedule_Type FROM Group_Table")).toInt(), 2);
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1).size(), 1);
}

void TestPolicyDialogs::timerEditorForGroup() {
    Fixture f;
    f.select(f.labKey);
    f.window->menus().mnuToolsTimer->trigger();
    QPointer<QDialog> dialog = f.opened("frmTimer");
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Timer Interval - Kestrava"));
    QVERIFY(dialog->windowModality() != Qt::NonModal);
    QCOMPARE(control<QLineEdit>(dialog, "txtGroupName")->text(), QStringLiteral("Lab"));
    QVERIFY(!control<QLineEdit>(dialog, "txtSystemName")->isVisible());
    QVERIFY(control<QRadioButton>(dialog, "optOffTimer")->isChecked());
    auto* period = control<QTimeEdit>(dialog, "dtpkTimerPeriod");
    QCOMPARE(period->time(), QTime(2, 15));
    QCOMPARE(period->displayFormat(), QStringLiteral("HH:mm"));
    auto* cmdApply = control<QPushButton>(dialog, "cmdApply");
    QVERIFY(!cmdApply->isEnabled());

    auto* off = control<QRadioButton>(dialog, "optOffTimer");
    off->setFocus();
    QTest::keyClick(off, Qt::Key_Left);
    QVERIFY(control<QRadioButton>(dialog, "optOnTimer")->isChecked());
    QVERIFY(cmdApply->isEnabled());
    period->setTime(QTime(1, 30));
    click(cmdApply);
    QVERIFY(!cmdApply->isEnabled());
    QCOMPARE(f.value(QStringLiteral("SELECT Schedule_Type || Timer_Type || ' ' || Timer_Starttime || ' ' || "
                                    "Timer_Period FROM Group_Table"))
                 .toString(),
             QStringLiteral("3N 2026-03-12 10:00:00 01:30"));
    const QString running = kStamp + QStringLiteral("3|N|3/12/2026 10:00:00 AM|3/12/2026 11:30:00 AM|0|");
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1), QStringList{running});
    QCOMPARE(receivedBy(f.h, f.c2, f.pc2), QStringList{running});

    QTest::keyClick(period, Qt::Key_Escape);
    QTRY_VERIFY(!dialog);
}

void TestPolicyDialogs::timerEditorForSystem() {
    Fixture f;
    f.select(f.pc1);
    f.window->menus().mnuPUTimer->trigger();
    QDialog* dialog = f.opened("frmTimer");
    QVERIFY(dialog);
    QCOMPARE(control<QLineEdit>(dialog, "txtSystemName")->text(), QStringLiteral("pc1"));
    QCOMPARE(control<QLineEdit>(dialog, "txtGroupName")->text(), QStringLiteral("Lab"));
    QVERIFY(control<QLabel>(dialog, "lblSystem")->isVisible());
    // pc1 follows its group, so the group's timer shows.
    QVERIFY(control<QRadioButton>(dialog, "optOffTimer")->isChecked());
    QCOMPARE(control<QTimeEdit>(dialog, "dtpkTimerPeriod")->time(), QTime(2, 15));
    click(control<QPushButton>(dialog, "cmdClear"));
    QCOMPARE(control<QTimeEdit>(dialog, "dtpkTimerPeriod")->time(), QTime(0, 0));
    click(control<QPushButton>(dialog, "cmdApply"));
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1), QStringList{kStamp + QStringLiteral("1|True|0|")});
    QCOMPARE(receivedBy(f.h, f.c2, f.pc2), QStringList());
    QCOMPARE(f.value(QStringLiteral("SELECT Apply_Groupwise_Settings FROM Group_Table")).toInt(), 0);
}

void TestPolicyDialogs::editorsNeedGroupOrSystem() {
    Fixture f;
    f.select(Keys::rootKey());
    QVERIFY(!f.window->policyCommands().mnuPUScheduler_Click());
    QVERIFY(!f.window->policyCommands().mnuPUTimer_Click());
    QVERIFY(!f.window->findChild<QDialog*>(QStringLiteral("frmSchedule")));
    QVERIFY(f.prompt.entries.isEmpty());
}

void TestPolicyDialogs::commandsFromMenus_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("selection");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("defaultYes");
    QTest::addColumn<QString>("toPc1");
    QTest::addColumn<QString>("toPc2");
    const QString off = kStamp + u"1|False|0|"_s;
    const QString none = kStamp + u"0|"_s;
    const QString group = kStamp + u"2|True|2|08:00 AM|09:00 AM|2|34|0|01:00 PM|02:30 PM|2|34|0|0|"_s;
    const QString nothing;
    QTest::newRow("popup OFF on a group")
        << u"mnuPUInternetOnOff"_s << 1 << u"lab"_s << true << nothing << false << off << off;
    QTest::newRow("tools ON on a system") << u"mnuToolsInternetOnOff"_s << 0 << u"pc1"_s << true << nothing
                                          << false << kStamp + u"1|True|0|"_s << nothing;
    QTest::newRow("clear a group")
        << u"mnuPUClearAllSchedules"_s << -1 << u"lab"_s << true
        << u"Are you sure you want to clear the internet settings for the group 'Lab'?"_s << false << none
        << none;
    QTest::newRow("clear a client, answered No")
        << u"mnuToolsClearAllSchedules"_s << -1 << u"pc2"_s << false
        << u"Are you sure you want to clear the internet settings of the client 'pc2'?"_s << false << nothing
        << nothing;
    QTest::newRow("inherit")
        << u"mnuPUInheritParentsSchedule"_s << -1 << u"pc2"_s << true
        << u"Are you sure you want to inherit the group internet settings for the client 'pc2'?"_s << false
        << nothing << group;
    QTest::newRow("inherit on a group asks nothing") << u"mnuToolsInheritParentsSchedule"_s << -1 << u"lab"_s
                                                     << true << nothing << false << nothing << nothing;
    QTest::newRow("set to clients")
        << u"mnuToolsSetInternetSettingsToClients"_s << -1 << u"lab"_s << true
        << u"Are you sure you want to apply the group's internet settings to all its client systems?"_s
        << true << group << group;
    QTest::newRow("set to clients on a system asks nothing")
        << u"mnuPUSetInternetSettingsToClients"_s << -1 << u"pc1"_s << true << nothing << false << nothing
        << nothing;
}

void TestPolicyDialogs::commandsFromMenus() {
    QFETCH(QString, item);
    QFETCH(int, index);
    QFETCH(QString, selection);
    QFETCH(bool, yes);
    QFETCH(QString, question);
    QFETCH(bool, defaultYes);
    QFETCH(QString, toPc1);
    QFETCH(QString, toPc2);
    Fixture f;
    f.select(selection == QLatin1String("lab")   ? f.labKey
             : selection == QLatin1String("pc1") ? f.pc1
                                                 : f.pc2);
    f.prompt.answer = yes ? Prompt::Answer::Yes : Prompt::Answer::No;
    QAction* action = nullptr;
    for (QAction* found : f.window->findChildren<QAction*>(item)) {
        if (index < 0 || found->property("index").toInt() == index)
            action = found;
    }
    QVERIFY(action);
    action->trigger();
    if (question.isEmpty()) {
        QVERIFY(f.prompt.entries.isEmpty());
    } else {
        QCOMPARE(f.prompt.entries.size(), 1);
        QCOMPARE(f.prompt.entries[0].kind, Kind::Ask);
        QCOMPARE(f.prompt.entries[0].text, question);
        QCOMPARE(f.prompt.entries[0].defaultAnswer, defaultYes ? Prompt::Answer::Yes : Prompt::Answer::No);
    }
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1), toPc1.isEmpty() ? QStringList() : QStringList{toPc1});
    QCOMPARE(receivedBy(f.h, f.c2, f.pc2), toPc2.isEmpty() ? QStringList() : QStringList{toPc2});
}

void TestPolicyDialogs::commandErrorIsShown() {
    Fixture f;
    f.h.db().exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON System_Table "
                                 "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    f.select(f.labKey);
    f.window->menus().mnuPUInternetOnOff[0]->trigger();
    QCOMPARE(f.prompt.texts(Kind::Error).size(), 1);
    QVERIFY(f.prompt.texts(Kind::Error).constFirst().endsWith(QStringLiteral(": refused")));
    QCOMPARE(f.value(QStringLiteral("SELECT Schedule_Type FROM Group_Table")).toInt(), 2);
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1), QStringList());
}

QTEST_MAIN(TestPolicyDialogs)
#include "tst_policydialogs.moc"
