#include "ClientInbox.h"
#include "Control.h"
#include "LinkHarness.h"
#include "PolicyRows.h"
#include "RecordingPrompt.h"
#include "SimulatedClient.h"
#include "core/console/SystemListModel.h"
#include "core/link/ServiceCommands.h"
#include "core/startup/ConsoleServices.h"
#include "gui/commands/MainMenus.h"
#include "gui/commands/PolicyMenuCommands.h"
#include "gui/commands/ServiceMenuCommands.h"
#include "gui/mainwindow/MainWindow.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimeEdit>
#include <QTreeView>
#include <QTreeWidget>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

using Kind = RecordingPrompt::Kind;
const QString kStamp = QStringLiteral("S|3/12/2026 10:00:02 AM|");

void click(QWidget* widget) {
    QVERIFY(widget->isEnabled());
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, widget->height() / 2));
}

// The main window over a running link. Lab keeps two weekly ranges and an OFF timer of 02:15; pc1 follows
// it, pc2 has its own internet on; both are connected and pc1 is chosen. x.com is in the URL catalogue.
struct Linked {
    LinkHarness h;
    RecordingPrompt prompt;
    ConsoleServices services{h.db(), h.tree(), h.clock(), &h.connections(), &h.messenger()};
    std::unique_ptr<MainWindow> window;
    QString labKey = PolicyRows::groupKey(QStringLiteral("Lab"));
    QString pc1, pc2;
    SimulatedClient* c1 = nullptr;
    SimulatedClient* c2 = nullptr;

    Linked() {
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
        db.exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('x.com')"));
        window = std::make_unique<MainWindow>(services);
        window->setPrompt(prompt);
        window->serviceCommands().serviceCommands()->setPauses(std::chrono::milliseconds(10),
                                                               std::chrono::milliseconds(10));
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        c1 = h.connectIdentified(QStringLiteral("id1"), QStringLiteral("pc1"));
        c2 = h.connectIdentified(QStringLiteral("id2"), QStringLiteral("pc2"));
        QVERIFY(c1 && c2);
        select(pc1);
    }
    void select(const QString& key) {
        window->selectNode(h.tree().Get_Node_Index_From_Key(key));
        window->treSystems().setFocus();
        QTRY_VERIFY(window->treSystems().hasFocus());
    }
    template <typename T = QDialog> T* opened(const char* name) {
        auto* dialog = window->findChild<T*>(QLatin1String(name));
        if (dialog && !QTest::qWaitForWindowExposed(dialog))
            return nullptr;
        return dialog;
    }
    QVariant value(const QString& sql, const QVariantList& values = {}) { return h.db().scalar(sql, values); }
    QStringList arrivals(int count) const {
        LinkHarness::waitForArrivals(c1, count);
        return LinkHarness::shown(c1);
    }
};

} // namespace

class TestLinkedCommands : public QObject {
    Q_OBJECT
private slots:
    void scheduleEditorAppliesAndSends();
    void timerEditorAppliesAndSends();
    void commandsFromMenus_data();
    void commandsFromMenus();
    void toolsItemsOpenModalWindows_data();
    void toolsItemsOpenModalWindows();
    void whiteListMoveReachesMembersOnClose();
    void synchronizeShowsPleaseWait();
    void connectedSystemShowsItsAddress();
};

void TestLinkedCommands::scheduleEditorAppliesAndSends() {
    Linked f;
    f.select(f.labKey);
    f.window->menus().mnuPUScheduler->trigger();
    QPointer<QDialog> dialog = f.opened("frmSchedule");
    QVERIFY(dialog);
    QCOMPARE(control<QLineEdit>(dialog, "txtGroupName")->text(), QStringLiteral("Lab"));
    auto* list = control<QTreeWidget>(dialog, "lvwSchedules");
    QCOMPARE(list->topLevelItemCount(), 2);
    auto* start = control<QTimeEdit>(dialog, "dtpkStartTime");
    // English AM/PM whatever the locale; A or P alone switches half of the day.
    start->setTime(QTime(6, 0));
    QVERIFY(start->text().endsWith(QStringLiteral("AM")));
    start->setFocus();
    QTest::keyClick(start, Qt::Key_P);
    QCOMPARE(start->time(), QTime(18, 0));
    QCOMPARE(start->text(), QStringLiteral("06:00 PM"));
    control<QTimeEdit>(dialog, "dtpkStopTime")->setTime(QTime(19, 15));
    click(control<QPushButton>(dialog, "cmdAdd"));
    QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("06:00 PM"));
    click(control<QPushButton>(dialog, "cmdApply"));
    QCOMPARE(f.value(QStringLiteral("SELECT count(*) FROM Group_Scheduler_Table")).toInt(), 3);
    const QString payload =
        kStamp + QStringLiteral("2|True|3|08:00 AM|09:00 AM|2|34|0|01:00 PM|02:30 PM|2|34|0|"
                                "06:00 PM|07:15 PM|2|34|0|0|");
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1), QStringList{payload});
    QCOMPARE(receivedBy(f.h, f.c2, f.pc2), QStringList{payload});
    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY(!dialog);
}

void TestLinkedCommands::timerEditorAppliesAndSends() {
    Linked f;
    f.select(f.pc1);
    f.window->menus().mnuPUTimer->trigger();
    QPointer<QDialog> dialog = f.opened("frmTimer");
    QVERIFY(dialog);
    QCOMPARE(control<QLineEdit>(dialog, "txtSystemName")->text(), QStringLiteral("pc1"));
    QVERIFY(control<QRadioButton>(dialog, "optOffTimer")->isChecked());
    control<QRadioButton>(dialog, "optOnTimer")->click();
    control<QTimeEdit>(dialog, "dtpkTimerPeriod")->setTime(QTime(1, 30));
    click(control<QPushButton>(dialog, "cmdApply"));
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1),
             QStringList{kStamp + QStringLiteral("3|N|3/12/2026 10:00:00 AM|3/12/2026 11:30:00 AM|0|")});
    QCOMPARE(receivedBy(f.h, f.c2, f.pc2), QStringList());
    click(control<QPushButton>(dialog, "cmdClose"));
    QTRY_VERIFY(!dialog);
}

void TestLinkedCommands::commandsFromMenus_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("toPc1");
    const QString off = kStamp + u"1|False|0|"_s;
    QTest::newRow("popup OFF") << u"mnuPUInternetOnOff"_s << 1 << QString() << off;
    QTest::newRow("set to clients")
        << u"mnuToolsSetInternetSettingsToClients"_s << -1
        << u"Are you sure you want to apply the group's internet settings to all its client systems?"_s
        << kStamp + u"2|True|2|08:00 AM|09:00 AM|2|34|0|01:00 PM|02:30 PM|2|34|0|0|"_s;
}

void TestLinkedCommands::commandsFromMenus() {
    QFETCH(QString, item);
    QFETCH(int, index);
    QFETCH(QString, question);
    QFETCH(QString, toPc1);
    Linked f;
    f.select(f.labKey);
    QAction* action = nullptr;
    for (QAction* found : f.window->findChildren<QAction*>(item)) {
        if (index < 0 || found->property("index").toInt() == index)
            action = found;
    }
    QVERIFY(action);
    action->trigger();
    QCOMPARE(f.prompt.texts(Kind::Ask), question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(receivedBy(f.h, f.c1, f.pc1), QStringList{toPc1});
}

void TestLinkedCommands::toolsItemsOpenModalWindows_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("window");
    QTest::newRow("urls") << QStringLiteral("mnuToolsAddUrls") << QStringLiteral("frmUrl");
    QTest::newRow("programs") << QStringLiteral("mnuToolsAddProgramNames") << QStringLiteral("frmPrograms");
    QTest::newRow("options") << QStringLiteral("mnuToolsOptions") << QStringLiteral("frmSettings");
}

void TestLinkedCommands::toolsItemsOpenModalWindows() {
    QFETCH(QString, item);
    QFETCH(QString, window);
    Linked f;
    auto* action = f.window->findChild<QAction*>(item);
    QVERIFY(action);
    action->trigger();
    auto* dialog = f.window->findChild<QDialog*>(window);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog->parentWidget(), f.window.get());
    QTest::keyClick(dialog, Qt::Key_Escape);
    // Discarded when closed.
    QTRY_VERIFY(!f.window->findChild<QDialog*>(window));
}

void TestLinkedCommands::whiteListMoveReachesMembersOnClose() {
    Linked f;
    f.select(f.labKey);
    f.window->menus().mnuFleWhiteList->trigger();
    QDialog* dialog = f.opened("frmAllowedUrls");
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("txtGroupName"))->text(), QStringLiteral("Lab"));
    QListWidget* available = control<QListWidget>(dialog, "lstURLs", 0);
    QCOMPARE(available->count(), 1);
    available->item(0)->setSelected(true);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdMoveTo")), Qt::LeftButton);
    QVERIFY(f.c1->arrivals().isEmpty());
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QVERIFY(LinkHarness::waitForArrivals(f.c1, 1));
    QCOMPARE(LinkHarness::shown(f.c1), QStringList{QStringLiteral("P|1|x.com|")});
}

void TestLinkedCommands::synchronizeShowsPleaseWait() {
    Linked c;
    QTRY_COMPARE(c.window->focusWidget(), &c.window->treSystems());
    auto* panel = c.window->statusBar()->findChild<QLabel*>();
    QVERIFY(panel);
    QSignalSpy busy(c.window->serviceCommands().serviceCommands(), &ServiceCommands::busyChanged);
    c.window->menus().mnuPUSynchronize->trigger();
    const QStringList shown = c.arrivals(2);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(0), QStringLiteral("F|3|"));
    QVERIFY(shown.at(1).startsWith(QLatin1Char('S')));
    QTRY_COMPARE(busy.count(), 2);
    QCOMPARE(busy.at(0).at(0).toBool(), true);
    QVERIFY(c.window->isEnabled());
    QCOMPARE(panel->text(), QStringLiteral("ver.1.4"));
}

void TestLinkedCommands::connectedSystemShowsItsAddress() {
    Linked c;
    const SystemListModel& list = c.window->listModel();
    QCOMPARE(list.rowAt(0).connectionStatus, QStringLiteral("Connected"));
    QCOMPARE(list.rowAt(0).ipAddress, QStringLiteral("127.0.0.1"));
    c.c1->resetConnection();
    QTRY_COMPARE(list.rowAt(0).connectionStatus, QStringLiteral("Not Connected"));
    QCOMPARE(list.rowAt(0).ipAddress, QString());
}

QTEST_MAIN(TestLinkedCommands)
#include "tst_linkedcommands.moc"
