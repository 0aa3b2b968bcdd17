#include "LinkHarness.h"
#include "ListCommands.h"
#include "MainMenus.h"
#include "MainWindow.h"
#include "RecordingPrompt.h"
#include "SimulatedClient.h"
#include "console/Keys.h"
#include "startup/ConsoleServices.h"

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace kestrava;

namespace {

QListWidget* listAt(QWidget* window, const char* name, int index) {
    for (QListWidget* list : window->findChildren<QListWidget*>(QLatin1String(name))) {
        if (list->property("index").toInt() == index)
            return list;
    }
    return nullptr;
}

// The main window over the link of a harness: group Lab with PC-A1 connected, x.com in the catalogue.
struct Fixture {
    LinkHarness link;
    RecordingPrompt prompt;
    ConsoleServices services{link.db(), link.tree(), link.clock()};
    std::unique_ptr<MainWindow> window;
    SimulatedClient* a1 = nullptr;

    Fixture() {
        link.db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                       {Keys::Make_Group_Key(QStringLiteral("Lab")), QStringLiteral("Lab")});
        link.db().exec(QStringLiteral("INSERT INTO System_Table(System_Key, System_Name, Group_ID) "
                                      "SELECT ?, 'PC-A1', Group_ID FROM Group_Table"),
                       {Keys::Make_System_Key(QStringLiteral("a1"), QStringLiteral("PC-A1"))});
        link.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('x.com')"));
        window = std::make_unique<MainWindow>(services);
        window->listCommands().setPrompt(prompt);
        window->listCommands().setLink(&link.messenger(), &link.connections());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        a1 = link.connectIdentified(QStringLiteral("a1"), QStringLiteral("PC-A1"));
    }
    void selectInTree(const QString& key) {
        window->selectNode(link.tree().Get_Node_Index_From_Key(key));
        window->treSystems().setFocus();
        QVERIFY(window->treSystems().hasFocus());
    }
    template <typename T = QDialog> T* openWindow(const char* name) {
        return window->findChild<T*>(QLatin1String(name));
    }
};

} // namespace

class TestListCommands : public QObject {
    Q_OBJECT
private slots:
    void toolsItemsOpenModalWindows_data();
    void toolsItemsOpenModalWindows();
    void whiteListOnlyForGroups();
    void whiteListMoveReachesMembersOnClose();
    void appBlockerFromPopupMenu();
};

void TestListCommands::toolsItemsOpenModalWindows_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("window");
    QTest::newRow("urls") << QStringLiteral("mnuToolsAddUrls") << QStringLiteral("frmUrl");
    QTest::newRow("programs") << QStringLiteral("mnuToolsAddProgramNames") << QStringLiteral("frmPrograms");
    QTest::newRow("options") << QStringLiteral("mnuToolsOptions") << QStringLiteral("frmSettings");
}

void TestListCommands::toolsItemsOpenModalWindows() {
    QFETCH(QString, item);
    QFETCH(QString, window);
    Fixture f;
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

void TestListCommands::whiteListOnlyForGroups() {
    Fixture f;
    QVERIFY(f.a1);
    f.selectInTree(Keys::rootKey());
    f.window->menus().mnuFleWhiteList->trigger();
    QVERIFY(!f.openWindow("frmAllowedUrls"));
    f.selectInTree(Keys::Make_System_Key(QStringLiteral("a1"), QStringLiteral("PC-A1")));
    f.window->menus().mnuFleWhiteList->trigger();
    QVERIFY(!f.openWindow("frmAllowedUrls"));
}

void TestListCommands::whiteListMoveReachesMembersOnClose() {
    Fixture f;
    QVERIFY(f.a1);
    f.selectInTree(Keys::Make_Group_Key(QStringLiteral("Lab")));
    f.window->menus().mnuFleWhiteList->trigger();
    QDialog* dialog = f.openWindow("frmAllowedUrls");
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("txtGroupName"))->text(), QStringLiteral("Lab"));
    QListWidget* available = listAt(dialog, "lstURLs", 0);
    QCOMPARE(available->count(), 1);
    available->item(0)->setSelected(true);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdMoveTo")), Qt::LeftButton);
    QVERIFY(f.a1->arrivals().isEmpty());
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QVERIFY(LinkHarness::waitForArrivals(f.a1, 1));
    QCOMPARE(LinkHarness::shown(f.a1), QStringList{QStringLiteral("P|1|x.com|")});
}

void TestListCommands::appBlockerFromPopupMenu() {
    Fixture f;
    f.selectInTree(Keys::Make_Group_Key(QStringLiteral("Lab")));
    f.window->menus().mnuPUAppBlocker->trigger();
    QDialog* dialog = f.openWindow("frmBlockedPrograms");
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("txtGroupName"))->text(), QStringLiteral("Lab"));
    dialog->close();
    QVERIFY(f.prompt.entries.isEmpty());
}

QTEST_MAIN(TestListCommands)
#include "tst_listcommands.moc"
