#include "ConsoleSelection.h"
#include "LinkHarness.h"
#include "MainMenus.h"
#include "MainWindow.h"
#include "PolicyRows.h"
#include "RecordingPrompt.h"
#include "ServiceMenuCommands.h"
#include "SimulatedClient.h"
#include "console/Keys.h"
#include "console/SystemListModel.h"
#include "link/ServiceCommands.h"
#include "startup/ConsoleServices.h"

#include <QAction>
#include <QLabel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>

using namespace kestrava;

namespace {

// The main window over a running link, with PC1 of group Labs connected.
struct Console {
    LinkHarness link;
    ConsoleServices services{link.db(), link.tree(), link.clock(), &link.connections(), &link.messenger()};
    RecordingPrompt prompt;
    QString pc1;
    std::unique_ptr<MainWindow> window;
    SimulatedClient* client = nullptr;
    bool active = false;

    Console() {
        const int labs = PolicyRows::addGroup(link.db(), QStringLiteral("Labs"));
        pc1 = PolicyRows::addSystem(link.db(), QStringLiteral("id1"), QStringLiteral("PC1"), labs);
        window = std::make_unique<MainWindow>(services);
        window->setPrompt(prompt);
        window->serviceCommands().serviceCommands()->setPauses(std::chrono::milliseconds(10),
                                                               std::chrono::milliseconds(10));
        window->show();
        window->activateWindow();
        active = QTest::qWaitForWindowActive(window.get());
        client = link.connectIdentified(QStringLiteral("id1"), QStringLiteral("PC1"));
        window->selectNode(link.tree().Get_Node_Index_From_Key(pc1));
        window->treSystems().setFocus();
    }
    QStringList arrivals(int count) const {
        LinkHarness::waitForArrivals(client, count);
        return LinkHarness::shown(client);
    }
};

} // namespace

class TestServiceMenuCommands : public QObject {
    Q_OBJECT
private slots:
    void blankScreenStoresAndSends();
    void terminateAsksFirst_data();
    void terminateAsksFirst();
    void synchronizeShowsPleaseWait();
    void connectedSystemShowsItsAddress();
};

void TestServiceMenuCommands::blankScreenStoresAndSends() {
    Console c;
    QVERIFY(c.active && c.client);
    QTRY_COMPARE(c.window->focusWidget(), &c.window->treSystems());
    c.window->menus().mnuPUServiceBlankScreen->trigger();
    QCOMPARE(c.arrivals(1), QStringList{QStringLiteral("L|True|")});
    QCOMPARE(c.link.db().scalar(QStringLiteral("SELECT Blank_Screen FROM System_Table")).toInt(), 1);
}

void TestServiceMenuCommands::terminateAsksFirst_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
}

void TestServiceMenuCommands::terminateAsksFirst() {
    QFETCH(bool, yes);
    Console c;
    QVERIFY(c.active && c.client);
    QTRY_COMPARE(c.window->focusWidget(), &c.window->treSystems());
    c.prompt.answer = yes ? Prompt::Answer::Yes : Prompt::Answer::No;
    c.window->menus().mnuPUServiceTerminate->trigger();
    QCOMPARE(
        c.prompt.texts(RecordingPrompt::Kind::Ask),
        QStringList{QStringLiteral("Are you sure you want to terminate the client in the system 'PC1'?")});
    c.window->menus().mnuPUServiceMakeVisible->trigger();
    const QStringList expected =
        yes ? QStringList{QStringLiteral("T"), QStringLiteral("V")} : QStringList{QStringLiteral("V")};
    QCOMPARE(c.arrivals(expected.size()), expected);
}

void TestServiceMenuCommands::synchronizeShowsPleaseWait() {
    Console c;
    QVERIFY(c.active && c.client);
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

void TestServiceMenuCommands::connectedSystemShowsItsAddress() {
    Console c;
    QVERIFY(c.client);
    const SystemListModel& list = c.window->listModel();
    QCOMPARE(list.rowAt(0).connectionStatus, QStringLiteral("Connected"));
    QCOMPARE(list.rowAt(0).ipAddress, QStringLiteral("127.0.0.1"));
    c.client->resetConnection();
    QTRY_COMPARE(list.rowAt(0).connectionStatus, QStringLiteral("Not Connected"));
    QCOMPARE(list.rowAt(0).ipAddress, QString());
}

QTEST_MAIN(TestServiceMenuCommands)
#include "tst_servicemenucommands.moc"
