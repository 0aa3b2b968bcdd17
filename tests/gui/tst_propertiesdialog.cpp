#include "ConsoleSelection.h"
#include "MainMenus.h"
#include "MainWindow.h"
#include "ManagementCommands.h"
#include "PropertiesDialog.h"
#include "RecordingPrompt.h"
#include "SystemListView.h"
#include "TempDatabase.h"
#include "console/Keys.h"
#include "console/SystemListModel.h"
#include "console/SystemTree.h"
#include "startup/Clock.h"
#include "startup/ConsoleServices.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace kestrava;

namespace {

struct Console {
    TempDatabase temp;
    SystemTree tree;
    FixedClock clock{QDateTime(QDate(2026, 3, 6), QTime(10, 0))};
    ConsoleServices services{temp.db(), tree, clock};
    RecordingPrompt prompt;
    QString labs = Keys::Make_Group_Key(QStringLiteral("Labs"));
    QString empty = Keys::Make_Group_Key(QStringLiteral("Empty"));
    QString pc1;
    std::unique_ptr<MainWindow> window;
    bool active = false;

    Console() {
        Database& db = temp.db();
        db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,'Labs'),(?,'Empty')"),
                {labs, empty});
        pc1 = Keys::Make_System_Key(QStringLiteral("id1"), QStringLiteral("PC1"));
        db.exec(QStringLiteral(
                    "INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,'Front desk',1)"),
                {pc1});
        window = std::make_unique<MainWindow>(services);
        window->setPrompt(prompt);
        window->show();
        window->activateWindow();
        active = QTest::qWaitForWindowActive(window.get());
    }
    void focus(QWidget* widget) const {
        widget->setFocus();
        QTRY_COMPARE(window->focusWidget(), widget);
    }
    void selectInTree(const QString& key) const {
        window->selectNode(tree.Get_Node_Index_From_Key(key));
        focus(&window->treSystems());
    }
    void selectInList(const QString& key) const {
        SystemListView& list = window->lvwSystems();
        const int row = window->listModel().Get_List_Index_From_Key(key) - 1;
        list.selectionModel()->setCurrentIndex(list.detailsView()->model()->index(row, 0),
                                               QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
        focus(list.activeView());
    }
    PropertiesDialog* open() const {
        window->menus().mnuPUProperties->trigger();
        return window->findChild<PropertiesDialog*>(QStringLiteral("frmProperties"));
    }
};

QStringList systemFields(const PropertiesDialog& dialog) {
    return {
        dialog.txtAlias->text(),     dialog.txtSystem->text(),           dialog.txtGroup->text(),
        dialog.txtIPAddress->text(), dialog.txtConnectionStatus->text(), dialog.txtInternetStatus->text()};
}

} // namespace

class TestPropertiesDialog : public QObject {
    Q_OBJECT
private slots:
    void systemFromTreeAndListShowsTheSame();
    void groupShowsItsChildCount_data();
    void groupShowsItsChildCount();
    void rootOpensNothing();
    void trimmedAliasIsStored();
    void unchangedGroupNameIsRefused();
    void escapeClosesWithoutApplying();
};

void TestPropertiesDialog::systemFromTreeAndListShowsTheSame() {
    Console c;
    c.tree.setTag(c.tree.Get_Node_Index_From_Key(c.pc1), QStringLiteral("Internet ON 06/03/26 10:00:00 AM"));
    c.selectInTree(c.pc1);
    PropertiesDialog* fromTree = c.open();
    QVERIFY(fromTree);
    QCOMPARE(fromTree->windowTitle(), QStringLiteral("Properties - Kestrava"));
    QVERIFY(fromTree->fraSystemProperties->isVisible());
    QVERIFY(!fromTree->fraGroupProperties->isVisible());
    QVERIFY(!fromTree->cmdApply->isEnabled());
    const QStringList expected{
        QStringLiteral("Front desk"),    QStringLiteral("PC1"),
        QStringLiteral("Labs"),          QString(),
        QStringLiteral("Not Connected"), QStringLiteral("Internet ON 06/03/26 10:00:00 AM")};
    QCOMPARE(systemFields(*fromTree), expected);
    fromTree->close();
    QTRY_VERIFY(!c.window->findChild<PropertiesDialog*>());

    c.selectInTree(c.labs);
    c.selectInList(c.pc1);
    PropertiesDialog* fromList = c.open();
    QVERIFY(fromList);
    QCOMPARE(systemFields(*fromList), expected);
}

void TestPropertiesDialog::groupShowsItsChildCount_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("count");
    QTest::newRow("with a system") << QStringLiteral("Labs") << QStringLiteral("1");
    QTest::newRow("empty") << QStringLiteral("Empty") << QStringLiteral("0");
}

void TestPropertiesDialog::groupShowsItsChildCount() {
    QFETCH(QString, group);
    QFETCH(QString, count);
    Console c;
    c.selectInTree(QStringLiteral("rComputers"));
    c.selectInList(Keys::Make_Group_Key(group));
    PropertiesDialog* dialog = c.open();
    QVERIFY(dialog);
    QVERIFY(dialog->fraGroupProperties->isVisible());
    QVERIFY(!dialog->fraSystemProperties->isVisible());
    QCOMPARE(dialog->txtGroupName->text(), group);
    QCOMPARE(dialog->txtChildSystems->text(), count);
}

void TestPropertiesDialog::rootOpensNothing() {
    Console c;
    c.selectInTree(QStringLiteral("rComputers"));
    QVERIFY(!c.open());
    QVERIFY(!c.window->managementCommands().showProperties());
}

void TestPropertiesDialog::trimmedAliasIsStored() {
    Console c;
    c.selectInTree(c.pc1);
    PropertiesDialog* dialog = c.open();
    QVERIFY(dialog);
    dialog->txtAlias->setText(QStringLiteral("  Reception  "));
    QVERIFY(dialog->cmdApply->isEnabled());
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    QCOMPARE(dialog->txtAlias->text(), QStringLiteral("Reception"));
    QVERIFY(!dialog->cmdApply->isEnabled());
    QCOMPARE(c.tree.Get_Node_Index_From_Key(c.pc1)->text, QStringLiteral("Reception"));
    QCOMPARE(c.temp.db().scalar(QStringLiteral("SELECT System_Name FROM System_Table")).toString(),
             QStringLiteral("Reception"));
}

void TestPropertiesDialog::unchangedGroupNameIsRefused() {
    Console c;
    c.selectInTree(c.labs);
    PropertiesDialog* dialog = c.open();
    QVERIFY(dialog);
    dialog->txtGroupName->setText(QStringLiteral("Lab"));
    dialog->txtGroupName->setText(QStringLiteral("labs"));
    dialog->cmdApply_Click();
    QCOMPARE(c.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Group name must be unique..!")});
    QCOMPARE(dialog->txtGroupName->text(), QStringLiteral("Labs"));

    dialog->txtGroupName->setText(QStringLiteral("Lab rooms"));
    dialog->cmdApply_Click();
    QVERIFY(c.tree.Get_Node_Index_From_Key(Keys::Make_Group_Key(QStringLiteral("Lab rooms"))));
    dialog->txtGroupName->setText(QStringLiteral("Lab rooms 2"));
    dialog->cmdApply_Click();
    QCOMPARE(
        c.temp.db().scalar(QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_ID=1")).toString(),
        QStringLiteral("Lab rooms 2"));
}

void TestPropertiesDialog::escapeClosesWithoutApplying() {
    Console c;
    c.selectInTree(c.pc1);
    PropertiesDialog* dialog = c.open();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    dialog->txtAlias->setText(QStringLiteral("Changed"));
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(!c.window->findChild<PropertiesDialog*>());
    QCOMPARE(c.tree.Get_Node_Index_From_Key(c.pc1)->text, QStringLiteral("Front desk"));
}

QTEST_MAIN(TestPropertiesDialog)
#include "tst_propertiesdialog.moc"
