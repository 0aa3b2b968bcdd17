#include "CommandStates.h"
#include "ConsoleSelection.h"
#include "MainLayout.h"
#include "MainMenus.h"
#include "MainToolBar.h"
#include "MainWindow.h"
#include "RecordingPrompt.h"
#include "SystemListView.h"
#include "TempDatabase.h"
#include "console/DragKeys.h"
#include "console/Keys.h"
#include "console/NodeRoles.h"
#include "console/SystemListModel.h"
#include "console/SystemTree.h"
#include "console/SystemTreeModel.h"
#include "startup/Clock.h"
#include "startup/ConsoleServices.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>

using namespace kestrava;

namespace {

qint64 addGroup(Database& db, const QString& name) {
    db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"),
            {Keys::Make_Group_Key(name), name});
    return db.scalar(QStringLiteral("SELECT max(Group_ID) FROM Group_Table")).toLongLong();
}

QString addSystem(Database& db, const QString& name, qint64 groupId) {
    const QString key = Keys::Make_System_Key(name + QStringLiteral("-id"), name);
    db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,?)"),
            {key, name, groupId});
    return key;
}

// The console window over groups Labs (PC1, PC2) and Empty and the system LOOSE under the root; its
// questions are answered by a recording prompt.
struct Console {
    TempDatabase temp;
    SystemTree tree;
    FixedClock clock{QDateTime(QDate(2026, 3, 6), QTime(10, 0))};
    ConsoleServices services{temp.db(), tree, clock};
    RecordingPrompt prompt;
    QString labs = Keys::Make_Group_Key(QStringLiteral("Labs"));
    QString empty = Keys::Make_Group_Key(QStringLiteral("Empty"));
    QString pc1, pc2, loose;
    std::unique_ptr<MainWindow> window;
    QLineEdit* otherControl = nullptr;

    Console() {
        const qint64 labsId = addGroup(temp.db(), QStringLiteral("Labs"));
        addGroup(temp.db(), QStringLiteral("Empty"));
        pc1 = addSystem(temp.db(), QStringLiteral("PC1"), labsId);
        pc2 = addSystem(temp.db(), QStringLiteral("PC2"), labsId);
        loose = addSystem(temp.db(), QStringLiteral("LOOSE"), 0);
        window = std::make_unique<MainWindow>(services);
        window->setPrompt(prompt);
        otherControl = new QLineEdit(window.get());
        window->statusBar()->addWidget(otherControl);
        window->show();
        window->activateWindow();
        active = QTest::qWaitForWindowActive(window.get());
    }
    bool active = false;
    MainMenus& menus() const { return window->menus(); }
    MainToolBar& toolBar() const { return window->tlbMain(); }
    QTreeView& treeView() const { return window->treSystems(); }
    SystemListView& list() const { return window->lvwSystems(); }
    TreeNode* node(const QString& key) const { return tree.Get_Node_Index_From_Key(key); }
    QStringList listTexts() const {
        QStringList out;
        for (int row = 0; row < window->listModel().count(); ++row)
            out << window->listModel().rowAt(row).text;
        return out;
    }
    void focus(QWidget* widget) const {
        widget->setFocus();
        QTRY_COMPARE(window->focusWidget(), widget);
    }
    void selectInTree(const QString& key) const {
        window->selectNode(node(key));
        focus(&treeView());
    }
    void selectInList(const QString& key) const {
        const int row = window->listModel().Get_List_Index_From_Key(key) - 1;
        list().selectionModel()->setCurrentIndex(list().detailsView()->model()->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        focus(list().activeView());
    }
    QString storedGroupName(const QString& key) {
        return temp.db()
            .scalar(QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_Key=?"), {key})
            .toString();
    }
    void editLabel(const QString& text) const {
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())));
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
};

QStringList visibleItems(const QMenu& menu) {
    QStringList names;
    for (const QAction* action : menu.actions()) {
        if (action->isVisible())
            names << action->objectName();
    }
    return names;
}

} // namespace

class TestMainWindowCommands : public QObject {
    Q_OBJECT
private slots:
    void addNewGroupOpensItsLabel();
    void refusedLabelKeepsTheOldName();
    void listLabelRenamesTheSystem();
    void deleteFromTreeAndList();
    void popupForEachSelection_data();
    void popupForEachSelection();
    void popupChecksThePolicy();
    void toolsMenuFollowsTheActiveKey();
    void fileMenuFollowsTheActiveKey_data();
    void fileMenuFollowsTheActiveKey();
    void toolBarFollowsTheSelection();
    void viewsDropDownDisablesTheCurrentView();
    void viewMenuMarksTheView();
    void splitterKeepsTwoSevenths();
    void columnSortsOnce();
    void doubleClickDrillsDown();
    void droppingListItemsOnAGroupMovesThem();
};

void TestMainWindowCommands::addNewGroupOpensItsLabel() {
    Console c;
    c.menus().mnuFleGroupAddNew->trigger();
    const QString key = Keys::Make_Group_Key(QStringLiteral("NewGroup(0)"));
    QVERIFY(c.node(key));
    QCOMPARE(c.storedGroupName(key), QStringLiteral("NewGroup(0)"));
    QCOMPARE(c.treeView().currentIndex().data(KeyRole).toString(), key);
    QCOMPARE(c.window->listModel().count(), 0);
    QVERIFY(c.toolBar().Delete->isEnabled());
    c.editLabel(QStringLiteral("  Front office  "));
    const QString renamed = Keys::Make_Group_Key(QStringLiteral("Front office"));
    QTRY_VERIFY(c.node(renamed));
    QCOMPARE(c.storedGroupName(renamed), QStringLiteral("Front office"));
    QVERIFY(c.prompt.entries.isEmpty());
}

void TestMainWindowCommands::refusedLabelKeepsTheOldName() {
    Console c;
    c.selectInTree(c.labs);
    c.menus().mnuFleRename->trigger();
    c.editLabel(QStringLiteral("Bob's"));
    QTRY_COMPARE(c.prompt.texts(RecordingPrompt::Kind::Inform),
                 QStringList{QStringLiteral("Invalid Group/System name")});
    QCOMPARE(c.node(c.labs)->text, QStringLiteral("Labs"));
    QCOMPARE(c.treeView().currentIndex().data().toString(), QStringLiteral("Labs"));
    QCOMPARE(c.storedGroupName(c.labs), QStringLiteral("Labs"));
}

void TestMainWindowCommands::listLabelRenamesTheSystem() {
    Console c;
    c.window->selectNode(c.node(c.labs));
    c.selectInList(c.pc2);
    c.toolBar().Rename->trigger();
    c.editLabel(QStringLiteral("Reception"));
    QTRY_COMPARE(c.node(c.pc2)->text, QStringLiteral("Reception"));
    QCOMPARE(c.listTexts(), (QStringList{QStringLiteral("PC1"), QStringLiteral("Reception")}));
}

void TestMainWindowCommands::deleteFromTreeAndList() {
    Console c;
    c.selectInTree(c.empty);
    c.toolBar().Delete->trigger();
    QVERIFY(!c.node(c.empty));
    QVERIFY(c.prompt.entries.isEmpty());

    c.window->selectNode(c.tree.root());
    c.selectInList(c.loose);
    c.prompt.answer = Prompt::Answer::Yes;
    c.menus().mnuPUDelete->trigger();
    QCOMPARE(c.prompt.texts(RecordingPrompt::Kind::Ask),
             QStringList{QStringLiteral("Are you sure you want to delete the client 'LOOSE'?")});
    QCOMPARE(c.prompt.entries.front().defaultAnswer, Prompt::Answer::No);
    QVERIFY(!c.node(c.loose));
    QCOMPARE(c.listTexts(), QStringList{QStringLiteral("Labs")});

    c.selectInList(c.labs);
    c.menus().mnuFleDelete->trigger();
    QCOMPARE(c.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral(
                 "The group 'Labs' consists of client system(s).\r\nCannot delete the group!")});
    QVERIFY(c.node(c.labs));
}

void TestMainWindowCommands::popupForEachSelection_data() {
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("visible");
    const QStringList policy{QStringLiteral("mnuPUInternet"), QStringLiteral("mnuPUScheduler"),
                             QStringLiteral("mnuPUTimer"), QStringLiteral("mnuPUSptrSchedule")};
    const QStringList node{QStringLiteral("mnuPUSptr3"), QStringLiteral("mnuPUDelete"),
                           QStringLiteral("mnuPURename"), QStringLiteral("mnuPUSynchronize")};
    const QStringList service{QStringLiteral("mnuPUSptr5"), QStringLiteral("mnuPUService")};
    QTest::newRow("nothing") << QString() << false
                             << QStringList{QStringLiteral("mnuPUGroup"), QStringLiteral("mnuPUSptr4"),
                                            QStringLiteral("mnuPURefresh")};
    QTest::newRow("group") << QStringLiteral("group") << false
                           << policy +
                                  QStringList{QStringLiteral("mnuPUSetInternetSettingsToClients"),
                                              QStringLiteral("mnuPUClearAllSchedules")} +
                                  node +
                                  QStringList{QStringLiteral("mnuPUWhiteList"),
                                              QStringLiteral("mnuPUAppBlocker"),
                                              QStringLiteral("mnuPUProperties")} +
                                  service;
    const QStringList system =
        policy +
        QStringList{QStringLiteral("mnuPUInheritParentsSchedule"), QStringLiteral("mnuPUClearAllSchedules")} +
        node + QStringList{QStringLiteral("mnuPUProperties")};
    QTest::newRow("system not connected") << QStringLiteral("system") << false << system;
    QTest::newRow("system connected") << QStringLiteral("system") << true << system + service;
}

void TestMainWindowCommands::popupForEachSelection() {
    QFETCH(QString, selected);
    QFETCH(bool, connected);
    QFETCH(QStringList, visible);
    Console c;
    TreeNode* pc = c.node(c.pc1);
    if (connected)
        c.tree.setImages(pc, NodeImage::SystemOnline, NodeImage::SystemOnline);
    const TreeNode* target = selected.isEmpty()                   ? nullptr
                             : selected == QLatin1String("group") ? c.node(c.labs)
                                                                  : pc;
    QVERIFY(c.window->commandStates().preparePopup(target));
    QCOMPARE(visibleItems(*c.menus().mnuPopup), visible);
    QVERIFY(!c.window->commandStates().preparePopup(c.tree.root()));
}

void TestMainWindowCommands::popupChecksThePolicy() {
    Console c;
    c.temp.db().exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=0, Blank_Screen=1, "
                                    "Apply_Groupwise_Settings=1 WHERE Group_Key=?"),
                     {c.labs});
    QVERIFY(c.window->commandStates().preparePopup(c.node(c.labs)));
    QVERIFY(c.menus().mnuPUInternetOnOff[1]->isChecked());
    QVERIFY(!c.menus().mnuPUInternetOnOff[0]->isChecked());
    QVERIFY(c.menus().mnuPUClearAllSchedules->isEnabled());
    QVERIFY(!c.menus().mnuPUSetInternetSettingsToClients->isEnabled());
    QVERIFY(c.menus().mnuPUServiceBlankScreen->isChecked());

    QVERIFY(c.window->commandStates().preparePopup(c.node(c.pc1)));
    QVERIFY(c.menus().mnuPUInternetOnOff[1]->isChecked());
    QVERIFY(!c.menus().mnuPUInheritParentsSchedule->isEnabled());
    QVERIFY(!c.menus().mnuPUServiceBlankScreen->isChecked());
}

void TestMainWindowCommands::toolsMenuFollowsTheActiveKey() {
    Console c;
    c.temp.db().exec(QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=1, Schedule_Type=2 "
                                    "WHERE System_Key=?"),
                     {c.pc2});
    c.window->selectNode(c.node(c.labs));
    c.selectInList(c.pc2);
    emit c.menus().mnuTools->aboutToShow();
    QVERIFY(c.menus().mnuToolsScheduler->isChecked());
    QVERIFY(c.menus().mnuToolsInheritParentsSchedule->isEnabled());
    QVERIFY(c.menus().mnuToolsClearAllSchedules->isEnabled());
    QVERIFY(c.menus().mnuToolsInternet->menuAction()->isEnabled());

    c.selectInTree(QStringLiteral("rComputers"));
    emit c.menus().mnuTools->aboutToShow();
    QVERIFY(!c.menus().mnuToolsScheduler->isChecked());
    QVERIFY(!c.menus().mnuToolsScheduler->isEnabled());
    QVERIFY(!c.menus().mnuToolsTimer->isEnabled());
    QVERIFY(!c.menus().mnuToolsInternet->menuAction()->isEnabled());
    QVERIFY(!c.menus().mnuToolsClearAllSchedules->isEnabled());
}

void TestMainWindowCommands::fileMenuFollowsTheActiveKey_data() {
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("enabled");
    const QStringList always{QStringLiteral("mnuFleGroup"), QStringLiteral("mnuFleExit")};
    QTest::newRow("root") << QStringLiteral("root") << always;
    QTest::newRow("group") << QStringLiteral("group")
                           << QStringList{
                                  QStringLiteral("mnuFleGroup"),      QStringLiteral("mnuFleDelete"),
                                  QStringLiteral("mnuFleRename"),     QStringLiteral("mnuFleSynchronise"),
                                  QStringLiteral("mnuFleWhiteList"),  QStringLiteral("mnuFleAppBlocker"),
                                  QStringLiteral("mnuFleProperties"), QStringLiteral("mnuFleExit")};
    QTest::newRow("system") << QStringLiteral("system")
                            << QStringList{
                                   QStringLiteral("mnuFleGroup"),      QStringLiteral("mnuFleDelete"),
                                   QStringLiteral("mnuFleRename"),     QStringLiteral("mnuFleSynchronise"),
                                   QStringLiteral("mnuFleProperties"), QStringLiteral("mnuFleExit")};
    QTest::newRow("focus elsewhere") << QStringLiteral("other") << always;
}

void TestMainWindowCommands::fileMenuFollowsTheActiveKey() {
    QFETCH(QString, selected);
    QFETCH(QStringList, enabled);
    Console c;
    if (selected == QLatin1String("root"))
        c.selectInTree(QStringLiteral("rComputers"));
    else if (selected == QLatin1String("group"))
        c.selectInTree(c.labs);
    else if (selected == QLatin1String("system"))
        c.selectInTree(c.pc1);
    else {
        c.selectInTree(c.labs);
        c.focus(c.otherControl);
    }
    emit c.menus().mnuFile->aboutToShow();
    QStringList on;
    for (const QAction* action : c.menus().mnuFile->actions()) {
        if (!action->isSeparator() && action->isEnabled())
            on << action->objectName();
    }
    QCOMPARE(on, enabled);
}

void TestMainWindowCommands::toolBarFollowsTheSelection() {
    Console c;
    QVERIFY(c.active);
    auto states = [&c] {
        QString out;
        for (QAction* button : {c.toolBar().InternetSetting, c.toolBar().Scheduler, c.toolBar().Timer,
                                c.toolBar().WhiteList, c.toolBar().AppBlocker})
            out += button->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return out;
    };
    QCOMPARE(states(), QStringLiteral("00000"));
    c.window->selectNode(c.node(c.labs));
    QCOMPARE(states(), QStringLiteral("11111"));
    c.window->selectNode(c.node(c.pc1));
    QCOMPARE(states(), QStringLiteral("11100"));
    c.window->selectNode(c.tree.root());
    c.focus(c.otherControl);
    c.selectInList(c.labs);
    QCOMPARE(states(), QStringLiteral("11111"));
    QTreeView* details = c.list().detailsView();
    const QModelIndex loose =
        details->model()->index(c.window->listModel().Get_List_Index_From_Key(c.loose) - 1, 0);
    QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, details->visualRect(loose).center());
    QCOMPARE(states(), QStringLiteral("11100"));
    c.selectInTree(QStringLiteral("rComputers"));
    QCOMPARE(states(), QStringLiteral("00000"));
}

void TestMainWindowCommands::viewsDropDownDisablesTheCurrentView() {
    Console c;
    emit c.toolBar().viewItems->aboutToShow();
    QStringList enabled;
    for (QAction* item : c.toolBar().views) {
        if (item->isEnabled())
            enabled << item->objectName();
    }
    QCOMPARE(enabled, (QStringList{QStringLiteral("LargeIcons"), QStringLiteral("SmallIcons"),
                                   QStringLiteral("List")}));
    c.toolBar().views[0]->trigger();
    QCOMPARE(c.list().view(), 0);
    emit c.toolBar().viewItems->aboutToShow();
    QVERIFY(!c.toolBar().views[0]->isEnabled());
    QVERIFY(c.toolBar().views[3]->isEnabled());
}

void TestMainWindowCommands::viewMenuMarksTheView() {
    Console c;
    QVERIFY(c.menus().mnuViewType[3]->isChecked());
    c.menus().mnuViewType[1]->trigger();
    QCOMPARE(c.list().view(), 1);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(c.menus().mnuViewType[static_cast<std::size_t>(i)]->isChecked(), i == 1);
}

void TestMainWindowCommands::splitterKeepsTwoSevenths() {
    Console c;
    auto* splitter = c.window->findChild<QSplitter*>(QStringLiteral("splMain"));
    QVERIFY(splitter);
    c.window->resize(980, 600);
    QTRY_COMPARE(splitter->sizes().front(), 2 * splitter->width() / 7 - MainLayout::kGap);
    splitter->setSizes({10, splitter->width() - 10});
    QCOMPARE(splitter->sizes().front(), MainLayout::kEdgeMargin);
    splitter->setSizes({splitter->width() - 10, 10});
    QCOMPARE(splitter->sizes().back(), MainLayout::kEdgeMargin);
    c.window->resize(1050, 600);
    QTRY_COMPARE(splitter->sizes().front(), 2 * splitter->width() / 7 - MainLayout::kGap);
}

void TestMainWindowCommands::columnSortsOnce() {
    Console c;
    QCOMPARE(c.listTexts(),
             (QStringList{QStringLiteral("Labs"), QStringLiteral("Empty"), QStringLiteral("LOOSE")}));
    emit c.list().detailsView()->header()->sectionClicked(0);
    QCOMPARE(c.listTexts(),
             (QStringList{QStringLiteral("Empty"), QStringLiteral("Labs"), QStringLiteral("LOOSE")}));
    c.tree.setText(c.node(c.loose), QStringLiteral("Aardvark"));
    QCOMPARE(c.listTexts(),
             (QStringList{QStringLiteral("Empty"), QStringLiteral("Labs"), QStringLiteral("Aardvark")}));
}

void TestMainWindowCommands::doubleClickDrillsDown() {
    Console c;
    const int row = c.window->listModel().Get_List_Index_From_Key(c.labs) - 1;
    emit c.list().itemDoubleClicked(c.list().detailsView()->model()->index(row, 0));
    QCOMPARE(c.treeView().currentIndex().data(KeyRole).toString(), c.labs);
    QVERIFY(c.treeView().isExpanded(c.treeView().currentIndex()));
    QCOMPARE(c.listTexts(), (QStringList{QStringLiteral("PC1"), QStringLiteral("PC2")}));
    emit c.list().itemDoubleClicked(c.list().detailsView()->model()->index(1, 0));
    QCOMPARE(c.listTexts(), QStringList{QStringLiteral("PC2")});
}

void TestMainWindowCommands::droppingListItemsOnAGroupMovesThem() {
    Console c;
    c.window->selectNode(c.node(c.labs));
    std::unique_ptr<QMimeData> data(DragKeys::pack(DragKeys::listFormat(), {c.pc1, c.pc2}));
    SystemTreeModel& model = c.window->treeModel();
    model.dropMimeData(data.get(), Qt::MoveAction, -1, -1, model.index(0, 0));
    QTRY_COMPARE(c.node(c.pc1)->parent, c.tree.root());
    QCOMPARE(c.node(c.pc2)->parent, c.tree.root());
    QCOMPARE(c.listTexts(), QStringList());
    QCOMPARE(c.temp.db().scalar(QStringLiteral("SELECT count(*) FROM System_Table WHERE Group_ID=0")).toInt(),
             3);
}

QTEST_MAIN(TestMainWindowCommands)
#include "tst_mainwindowcommands.moc"
