#include "ConsoleWindow.h"
#include "core/console/DragKeys.h"
#include "core/console/NodeRoles.h"
#include "gui/commands/MainMenus.h"
#include "gui/commands/PolicyMenuCommands.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/dialogs/PropertiesDialog.h"
#include "gui/mainwindow/CommandStates.h"
#include "gui/mainwindow/MainToolBar.h"

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>

using namespace kestrava;

namespace {

PropertiesDialog* openProperties(ConsoleWindow& c) {
    c.window->menus().mnuPUProperties->trigger();
    return c.window->findChild<PropertiesDialog*>(QStringLiteral("frmProperties"));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startsWithRootListedAndItsPolicies();
    void choosingOrClickingANodeFillsTheList();
    void collapsingMovesTheSelectionToTheParent();
    void selectionFollowsTheFocusedControl();
    void renameKeepsWhatIsTypedWhileTheSystemReports();
    void unchangedGroupNameIsNoConflict();
    void newGroupOpensItsLabel();
    void deletingAGroupAsksAndMovesItsSystems();
    void commandStatesFollowTheSelection();
    void dropNearTheEdgeOfAGroupRowMovesThere();
    void dropBetweenTheRowsOfAGroupMovesIntoIt();
    void largeIconsKeepNamesApart();
    void findLineHidesOtherRows();
    void layoutIsRemembered();
    void columnsFitTheTextsOfTheRowsShown();
    void policyColumnFollowsPolicyChanges();
    void doubleClickDrillsDown();
    void systemShowsItsRowAndPolicy();
    void groupRenameKeepsTheListWhereItWas();
    void rootOpensNothing();
};

void TestMainWindow::startsWithRootListedAndItsPolicies() {
    ConsoleWindow c;
    const QModelIndex root = c.treeView().model()->index(0, 0);
    QVERIFY(c.treeView().isExpanded(root));
    QCOMPARE(c.treeView().currentIndex(), root);
    QCOMPARE(c.listColumn(),
             (QStringList{QStringLiteral("Labs"), QStringLiteral("Empty"), QStringLiteral("LOOSE")}));
    const QAbstractItemModel& model = *c.list().detailsView()->model();
    QCOMPARE(model.columnCount(), SystemListModel::ColumnCount + 1);
    QCOMPARE(model.headerData(SystemListModel::ColumnCount, Qt::Horizontal).toString(),
             QStringLiteral("Policy"));
    QCOMPARE(c.listColumn(SystemListModel::ColumnCount),
             (QStringList{QString(), QString(), QStringLiteral("On — no policy")}));
    QCOMPARE(c.window->menus().mnuFleRename->shortcut(), QKeySequence(Qt::Key_F2));
    QCOMPARE(c.window->menus().mnuFleDelete->shortcut(), QKeySequence(QKeySequence::Delete));
    QCOMPARE(c.window->menus().mnuViewRefresh->shortcut(), QKeySequence(QKeySequence::Refresh));
}

void TestMainWindow::choosingOrClickingANodeFillsTheList() {
    ConsoleWindow c;
    c.selectInTree(c.labs);
    QCOMPARE(c.listColumn(), (QStringList{QStringLiteral("PC1"), QStringLiteral("PC2")}));
    // A click on the node already chosen fills a stale list again and opens no editor.
    c.window->listModel().clear();
    const QRect labs = c.treeView().visualRect(c.treeView().currentIndex());
    QTest::mouseClick(c.treeView().viewport(), Qt::LeftButton, {}, labs.center());
    QCOMPARE(c.listColumn(), (QStringList{QStringLiteral("PC1"), QStringLiteral("PC2")}));
    QTest::qWait(QApplication::doubleClickInterval() * 2);
    QVERIFY(!c.treeView().viewport()->findChild<QLineEdit*>());
}

void TestMainWindow::collapsingMovesTheSelectionToTheParent() {
    ConsoleWindow c;
    c.selectInTree(c.pc2);
    const QModelIndex labs = c.treeView().currentIndex().parent();
    c.treeView().collapse(labs);
    QCOMPARE(c.treeView().currentIndex(), labs);
    QCOMPARE(c.window->selection().Get_Active_Selected_Key(), c.labs);
    QCOMPARE(c.listColumn(), (QStringList{QStringLiteral("PC1"), QStringLiteral("PC2")}));
}

void TestMainWindow::selectionFollowsTheFocusedControl() {
    ConsoleWindow c;
    ConsoleSelection& selection = c.window->selection();
    c.window->selectNode(c.node(c.labs));
    c.selectInList(c.pc2);
    QCOMPARE(selection.Get_Active_Selected_Key(), c.pc2);
    QCOMPARE(selection.Get_Selected_Items_Parents_Key(), c.labs);
    c.focus(&c.treeView());
    QCOMPARE(selection.Get_Active_Selected_Key(), c.labs);
    // An open label editor keeps its control's selection.
    c.window->menus().mnuFleRename->trigger();
    QVERIFY(c.editor());
    QCOMPARE(selection.focusedControl(), ConsoleSelection::Control::Tree);
    QTest::keyClick(c.editor(), Qt::Key_Escape);
    c.focus(c.otherControl);
    QCOMPARE(selection.Get_Active_Selected_Key(), QString());
}

void TestMainWindow::renameKeepsWhatIsTypedWhileTheSystemReports() {
    ConsoleWindow c;
    c.selectInTree(c.pc1);
    QTest::keyClick(&c.treeView(), Qt::Key_F2);
    QLineEdit* editor = c.editor();
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("sel"));
    TreeNode* pc = c.node(c.pc1);
    c.tree.setImages(pc, NodeImage::SystemOnline, NodeImage::SystemOnline);
    c.tree.setTag(pc, QStringLiteral("Internet ON 06/03/26 10:00:00 AM"));
    QTest::keyClicks(editor, QStringLiteral("f-report"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(pc->text, QStringLiteral("self-report"));
    QCOMPARE(c.stored("SELECT System_Name FROM System_Table WHERE System_Key=?", c.pc1),
             QStringLiteral("self-report"));
}

void TestMainWindow::unchangedGroupNameIsNoConflict() {
    ConsoleWindow c;
    c.selectInTree(c.labs);
    c.window->menus().mnuFleRename->trigger();
    QTest::keyClick(c.editor(), Qt::Key_Return);
    QTest::qWait(0);
    QVERIFY(c.prompt.entries.isEmpty());
    QVERIFY(c.node(c.labs));
}

void TestMainWindow::newGroupOpensItsLabel() {
    ConsoleWindow c;
    c.window->menus().mnuFleGroupAddNew->trigger();
    QLineEdit* editor = c.editor();
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("  Front office  "));
    QTest::keyClick(editor, Qt::Key_Return);
    const QString key = Keys::Make_Group_Key(QStringLiteral("Front office"));
    QTRY_VERIFY(c.node(key));
    QCOMPARE(c.stored("SELECT Group_Name FROM Group_Table WHERE Group_Key=?", key),
             QStringLiteral("Front office"));
    QVERIFY(c.prompt.entries.isEmpty());
}

void TestMainWindow::deletingAGroupAsksAndMovesItsSystems() {
    ConsoleWindow c;
    c.selectInTree(c.labs);
    c.prompt.answer = Prompt::Answer::No;
    c.window->menus().mnuFleDelete->trigger();
    QCOMPARE(c.prompt.texts(RecordingPrompt::Kind::Ask),
             QStringList{QStringLiteral("Delete the group 'Labs' and move its systems to the root?")});
    QCOMPARE(c.prompt.entries.front().defaultAnswer, Prompt::Answer::No);
    QVERIFY(c.node(c.labs));
    c.prompt.answer = Prompt::Answer::Yes;
    c.window->menus().mnuFleDelete->trigger();
    QVERIFY(!c.node(c.labs));
    QCOMPARE(c.node(c.pc1)->parent, c.tree.root());
    QVERIFY(c.listColumn().contains(QStringLiteral("PC2")));
}

void TestMainWindow::commandStatesFollowTheSelection() {
    ConsoleWindow c;
    MainMenus& menus = c.window->menus();
    c.selectInTree(c.labs);
    emit menus.mnuFile->aboutToShow();
    QVERIFY(menus.mnuFleWhiteList->isEnabled() && menus.mnuFleDelete->isEnabled());
    QVERIFY(c.window->tlbMain().WhiteList->isEnabled());
    c.focus(c.otherControl);
    emit menus.mnuFile->aboutToShow();
    QVERIFY(!menus.mnuFleDelete->isEnabled());
    QVERIFY(c.window->commandStates().preparePopup(c.node(c.pc1)));
    QVERIFY(menus.mnuPUInheritParentsSchedule->isVisible());
    QVERIFY(!menus.mnuPUWhiteList->isVisible());
}

// Drags the list items of keys to at in the tree and drops them there, as the mouse would.
static void dropInTree(QTreeView& tree, QPoint at, const QStringList& keys) {
    std::unique_ptr<QMimeData> data(DragKeys::pack(DragKeys::listFormat(), keys));
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &move);
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &drop);
}

void TestMainWindow::dropNearTheEdgeOfAGroupRowMovesThere() {
    ConsoleWindow c;
    c.window->selectNode(c.node(c.labs));
    QTreeView& tree = c.treeView();
    const QModelIndex empty = tree.model()->index(1, 0, tree.model()->index(0, 0));
    QCOMPARE(empty.data(KeyRole).toString(), c.empty);
    // The top pixel of the row, which counts as a gap between rows unless a row takes every drop.
    dropInTree(tree, tree.visualRect(empty).topLeft() + QPoint(20, 1), {c.pc1});
    QTRY_COMPARE(c.node(c.pc1)->parent, c.node(c.empty));
    QCOMPARE(c.listColumn(), QStringList{QStringLiteral("PC2")});
}

void TestMainWindow::dropBetweenTheRowsOfAGroupMovesIntoIt() {
    ConsoleWindow c;
    QTreeView& tree = c.treeView();
    tree.expandAll();
    const QModelIndex pc2 = tree.model()->index(1, 0, tree.model()->index(0, 0, tree.model()->index(0, 0)));
    QCOMPARE(pc2.data(KeyRole).toString(), c.pc2);
    dropInTree(tree, tree.visualRect(pc2).center(), {c.loose});
    QTRY_COMPARE(c.node(c.loose)->parent, c.node(c.labs));
}

void TestMainWindow::largeIconsKeepNamesApart() {
    ConsoleWindow c;
    for (int i = 1; i <= 8; ++i)
        c.tree.addNode(c.tree.root(),
                       Keys::Make_System_Key(QString::number(i), QStringLiteral("classroom-pc-%1").arg(i)),
                       QStringLiteral("classroom-pc-%1").arg(i), NodeImage::SystemOffline,
                       NodeImage::SystemOffline);
    c.window->menus().mnuViewRefresh->trigger();
    c.window->menus().mnuViewType[SystemListView::LargeIcons]->trigger();
    QListView* icons = c.list().iconView();
    QVERIFY(icons->isVisible() && icons->wordWrap() && !icons->uniformItemSizes());
    const QModelIndex last = icons->model()->index(icons->model()->rowCount() - 1, 0);
    QCOMPARE(last.data(Qt::ToolTipRole).toString(), QStringLiteral("classroom-pc-8"));
    QVERIFY(icons->visualRect(last).width() >=
            icons->fontMetrics().horizontalAdvance(QStringLiteral("classroom-pc-8")));
}

void TestMainWindow::findLineHidesOtherRows() {
    ConsoleWindow c;
    c.window->menus().mnuViewFind->trigger();
    QLineEdit* find = c.list().findLine();
    QTRY_COMPARE(QApplication::focusWidget(), find);
    QTest::keyClicks(find, QStringLiteral("loose-ID"));
    QTreeView* details = c.list().detailsView();
    QVERIFY(details->isRowHidden(0, {}) && details->isRowHidden(1, {}) && !details->isRowHidden(2, {}));
    c.selectInTree(c.labs);
    QVERIFY(details->isRowHidden(0, {}));
    find->clear();
    QVERIFY(!details->isRowHidden(0, {}));
}

void TestMainWindow::columnsFitTheTextsOfTheRowsShown() {
    ConsoleWindow c;
    c.selectInTree(c.labs);
    // A computer's report follows its row closely: the columns are measured with it.
    const QString status = QStringLiteral("Internet OFF 12/07/26 11:00:00 AM");
    c.tree.setTag(c.node(c.pc1), status);
    const QTreeView& details = *c.list().detailsView();
    const int wanted = details.fontMetrics().horizontalAdvance(status);
    QTRY_VERIFY_WITH_TIMEOUT(details.header()->sectionSize(SystemListModel::InternetStatus) > wanted, 5000);
}

void TestMainWindow::layoutIsRemembered() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("window.ini"));
    {
        ConsoleWindow c;
        c.window->rememberLayoutIn(file);
        c.window->resize(777, 555);
        c.window->menus().mnuViewType[SystemListView::List]->trigger();
        c.list().detailsView()->header()->resizeSection(SystemListModel::Group, 222);
        c.window->hide();
    }
    ConsoleWindow c;
    c.window->rememberLayoutIn(file);
    QCOMPARE(c.window->size(), QSize(777, 555));
    QCOMPARE(c.list().view(), int(SystemListView::List));
    QVERIFY(c.window->menus().mnuViewType[SystemListView::List]->isChecked());
    QCOMPARE(c.list().detailsView()->header()->sectionSize(SystemListModel::Group), 222);
}

void TestMainWindow::policyColumnFollowsPolicyChanges() {
    ConsoleWindow c;
    c.selectInTree(c.labs);
    QCOMPARE(c.listColumn(SystemListModel::ColumnCount),
             QStringList(2, QStringLiteral("On — no policy (group's)")));
    c.temp.db().exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=0 WHERE Group_ID=?"),
                     {c.labsId});
    emit c.window->policyCommands().policyChanged();
    QCOMPARE(c.listColumn(SystemListModel::ColumnCount),
             QStringList(2, QStringLiteral("Off — set off (group's)")));
}

void TestMainWindow::doubleClickDrillsDown() {
    ConsoleWindow c;
    emit c.list().itemDoubleClicked(c.list().detailsView()->model()->index(0, 0));
    QCOMPARE(c.treeView().currentIndex().data(KeyRole).toString(), c.labs);
    QCOMPARE(c.listColumn(), (QStringList{QStringLiteral("PC1"), QStringLiteral("PC2")}));
}

void TestMainWindow::systemShowsItsRowAndPolicy() {
    ConsoleWindow c;
    c.tree.setTag(c.node(c.pc1), QStringLiteral("Internet ON 06/03/26 10:00:00 AM"));
    c.window->selectNode(c.node(c.labs));
    c.selectInList(c.pc1);
    PropertiesDialog* dialog = openProperties(c);
    QVERIFY(dialog && dialog->fraSystemProperties->isVisible() && !dialog->fraGroupProperties->isVisible());
    QCOMPARE(dialog->txtInternetStatus->text(), QStringLiteral("Internet ON 06/03/26 10:00:00 AM"));
    QCOMPARE(dialog->txtPolicy->text(), QStringLiteral("On — no policy (group's)"));
    dialog->txtAlias->setText(QStringLiteral("  Reception  "));
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    QCOMPARE(c.node(c.pc1)->text, QStringLiteral("Reception"));
    QVERIFY(!dialog->cmdApply->isEnabled());
}

void TestMainWindow::groupRenameKeepsTheListWhereItWas() {
    ConsoleWindow c;
    c.selectInTree(QStringLiteral("rComputers"));
    c.selectInList(c.labs);
    PropertiesDialog* dialog = openProperties(c);
    QVERIFY(dialog && dialog->fraGroupProperties->isVisible());
    QCOMPARE(dialog->txtChildSystems->text(), QStringLiteral("2"));
    // The unchanged name is no conflict with itself.
    dialog->cmdApply_Click();
    QVERIFY(c.prompt.entries.isEmpty());
    dialog->txtGroupName->setText(QStringLiteral("Lab rooms"));
    dialog->cmdApply_Click();
    QVERIFY(c.node(Keys::Make_Group_Key(QStringLiteral("Lab rooms"))));
    QCOMPARE(c.listColumn(),
             (QStringList{QStringLiteral("Lab rooms"), QStringLiteral("Empty"), QStringLiteral("LOOSE")}));
    dialog->txtGroupName->setText(QStringLiteral("Empty"));
    dialog->cmdApply_Click();
    QCOMPARE(c.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Group name must be unique..!")});
    QCOMPARE(dialog->txtGroupName->text(), QStringLiteral("Lab rooms"));
}

void TestMainWindow::rootOpensNothing() {
    ConsoleWindow c;
    c.selectInTree(QStringLiteral("rComputers"));
    QVERIFY(!openProperties(c));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
