#include "ConsoleSelection.h"
#include "MainMenus.h"
#include "MainWindow.h"
#include "SystemListView.h"
#include "TempDatabase.h"
#include "console/Keys.h"
#include "console/NodeRoles.h"
#include "console/SystemListModel.h"
#include "console/SystemTree.h"
#include "startup/Clock.h"
#include "startup/ConsoleServices.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
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

QImage pixmapOf(const QModelIndex& index, QIcon::Mode mode) {
    return index.data(Qt::DecorationRole).value<QIcon>().pixmap(16, mode).toImage();
}

// A console window over a database with one group of two systems and one system without a group.
struct Console {
    TempDatabase temp;
    SystemTree tree;
    FixedClock clock{QDateTime(QDate(2026, 3, 6), QTime(10, 0))};
    ConsoleServices services{temp.db(), tree, clock};
    QString pc1, pc2, loose;
    std::unique_ptr<MainWindow> window;
    QLineEdit* otherControl = nullptr;

    Console() {
        const qint64 labs = addGroup(temp.db(), QStringLiteral("Labs"));
        pc1 = addSystem(temp.db(), QStringLiteral("PC1"), labs);
        pc2 = addSystem(temp.db(), QStringLiteral("PC2"), labs);
        loose = addSystem(temp.db(), QStringLiteral("LOOSE"), 0);
        window = std::make_unique<MainWindow>(services);
        otherControl = new QLineEdit(window.get());
        window->statusBar()->addWidget(otherControl);
        window->show();
    }
    QTreeView& treeView() const { return window->treSystems(); }
    QAbstractItemModel& listModel() const { return *window->lvwSystems().detailsView()->model(); }
    QStringList listColumn(int column) const {
        QStringList out;
        for (int row = 0; row < listModel().rowCount(); ++row)
            out << listModel().index(row, column).data().toString();
        return out;
    }
    QModelIndex treeIndex(const QString& key) const {
        const QModelIndexList found = treeView().model()->match(treeView().model()->index(0, 0), KeyRole, key,
                                                                1, Qt::MatchFixedString | Qt::MatchRecursive);
        return found.isEmpty() ? QModelIndex() : found.front();
    }
    void focus(QWidget* widget) const {
        widget->setFocus();
        QTRY_COMPARE(window->focusWidget(), widget);
    }
};

} // namespace

class TestMainWindowTree : public QObject {
    Q_OBJECT
private slots:
    void startsWithRootExpandedAndListed();
    void choosingANodeFillsTheList();
    void iconsFollowImages();
    void rowsFollowConnectionsLive();
    void selectionFollowsTheFocusedControl();
    void parentOfListItemComesFromTheTree();
    void listViewsShareTheSelection();
    void menusCarryTheirNames_data();
    void menusCarryTheirNames();
};

void TestMainWindowTree::startsWithRootExpandedAndListed() {
    Console console;
    const QModelIndex root = console.treeView().model()->index(0, 0);
    QCOMPARE(root.data().toString(), QStringLiteral("Computers"));
    QVERIFY(console.treeView().isExpanded(root));
    QCOMPARE(console.treeView().currentIndex(), root);
    QCOMPARE(console.listColumn(SystemListModel::Alias),
             (QStringList{QStringLiteral("Labs"), QStringLiteral("LOOSE")}));
    QCOMPARE(console.listColumn(SystemListModel::Group), QStringList(2, QStringLiteral("Computers")));
    QCOMPARE(console.listModel().columnCount(), 6);
}

void TestMainWindowTree::choosingANodeFillsTheList() {
    Console console;
    const QModelIndex labs = console.treeIndex(Keys::Make_Group_Key(QStringLiteral("Labs")));
    QVERIFY(labs.isValid());
    console.treeView().setCurrentIndex(labs);
    QCOMPARE(console.listColumn(SystemListModel::Alias),
             (QStringList{QStringLiteral("PC1"), QStringLiteral("PC2")}));
    QCOMPARE(console.listColumn(SystemListModel::Group), QStringList(2, QStringLiteral("Labs")));

    console.treeView().setCurrentIndex(console.treeIndex(console.pc2));
    QCOMPARE(console.listColumn(SystemListModel::Alias), QStringList{QStringLiteral("PC2")});
    QCOMPARE(console.listColumn(SystemListModel::System), QStringList{QStringLiteral("PC2")});
    QCOMPARE(console.listColumn(SystemListModel::Group), QStringList{QStringLiteral("Labs")});
}

void TestMainWindowTree::iconsFollowImages() {
    Console console;
    const QModelIndex root = console.treeView().model()->index(0, 0);
    const QModelIndex labs = console.treeIndex(Keys::Make_Group_Key(QStringLiteral("Labs")));
    const QModelIndex pc1 = console.treeIndex(console.pc1);
    for (const QModelIndex& at : {root, labs, pc1})
        QVERIFY(!pixmapOf(at, QIcon::Normal).isNull());
    QVERIFY(pixmapOf(root, QIcon::Normal) != pixmapOf(labs, QIcon::Normal));
    QVERIFY(pixmapOf(labs, QIcon::Normal) != pixmapOf(labs, QIcon::Selected));
    QCOMPARE(pixmapOf(pc1, QIcon::Normal), pixmapOf(pc1, QIcon::Selected));

    const QImage offline = pixmapOf(pc1, QIcon::Normal);
    TreeNode* node = console.tree.Get_Node_Index_From_Key(console.pc1);
    console.tree.setImages(node, NodeImage::SystemOnline, NodeImage::SystemOnline);
    QVERIFY(pixmapOf(pc1, QIcon::Normal) != offline);
}

void TestMainWindowTree::rowsFollowConnectionsLive() {
    Console console;
    const QString pc2 = console.pc2;
    bool connected = false;
    console.window->setRemoteAddressLookup([&](const QString& key) {
        return connected && key == pc2 ? std::optional<QString>(QStringLiteral("127.0.0.1")) : std::nullopt;
    });
    console.treeView().setCurrentIndex(console.treeIndex(Keys::Make_Group_Key(QStringLiteral("Labs"))));
    const QModelIndex row = console.listModel().index(1, 0);
    const QImage before = pixmapOf(row, QIcon::Normal);

    connected = true;
    TreeNode* node = console.tree.Get_Node_Index_From_Key(pc2);
    console.tree.setImages(node, NodeImage::SystemOnline, NodeImage::SystemOnline);
    console.tree.setTag(node, QStringLiteral("Internet ON 06/03/26 10:00:00 AM"));
    QCOMPARE(console.listColumn(SystemListModel::IpAddress),
             (QStringList{QString(), QStringLiteral("127.0.0.1")}));
    QCOMPARE(console.listColumn(SystemListModel::ConnectionStatus),
             (QStringList{QStringLiteral("Not Connected"), QStringLiteral("Connected")}));
    QCOMPARE(console.listColumn(SystemListModel::InternetStatus),
             (QStringList{QString(), QStringLiteral("Internet ON 06/03/26 10:00:00 AM")}));
    QVERIFY(pixmapOf(row, QIcon::Normal) != before);
}

void TestMainWindowTree::selectionFollowsTheFocusedControl() {
    Console console;
    ConsoleSelection& selection = console.window->selection();
    console.treeView().setCurrentIndex(console.treeIndex(Keys::Make_Group_Key(QStringLiteral("Labs"))));
    console.window->lvwSystems().selectionModel()->setCurrentIndex(
        console.listModel().index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QString key = QStringLiteral("unchanged"), text = QStringLiteral("unchanged");

    console.focus(console.otherControl);
    QVERIFY(!selection.Get_Selected_Items_Key_And_Text(key, text));
    QCOMPARE(key, QStringLiteral("unchanged"));
    QCOMPARE(selection.Get_Active_Selected_Key(), QString());
    QCOMPARE(selection.Get_Selected_Items_Parents_Key(), QString());

    console.focus(&console.treeView());
    QVERIFY(selection.Get_Selected_Items_Key_And_Text(key, text));
    QCOMPARE(key, Keys::Make_Group_Key(QStringLiteral("Labs")));
    QCOMPARE(text, QStringLiteral("Labs"));
    QCOMPARE(selection.Get_Selected_Items_Parents_Key(), QStringLiteral("rComputers"));

    console.focus(console.window->lvwSystems().activeView());
    QVERIFY(selection.Get_Selected_Items_Key_And_Text(key, text));
    QCOMPARE(key, console.pc2);
    QCOMPARE(text, QStringLiteral("PC2"));
    QCOMPARE(selection.Get_Active_Selected_Key(), console.pc2);

    console.window->lvwSystems().selectionModel()->clearSelection();
    QCOMPARE(selection.Get_Active_Selected_Key(), QString());
}

void TestMainWindowTree::parentOfListItemComesFromTheTree() {
    Console console;
    ConsoleSelection& selection = console.window->selection();
    console.window->lvwSystems().selectionModel()->setCurrentIndex(
        console.listModel().index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    console.focus(console.window->lvwSystems().activeView());
    QString key, text;
    QVERIFY(selection.Get_Selected_Items_Parents_Key_And_Text(key, text));
    QCOMPARE(key, QStringLiteral("rComputers"));
    QCOMPARE(text, QStringLiteral("Computers"));

    console.focus(&console.treeView());
    QVERIFY(!selection.Get_Selected_Items_Parents_Key_And_Text(key, text));
}

void TestMainWindowTree::listViewsShareTheSelection() {
    Console console;
    SystemListView& list = console.window->lvwSystems();
    list.selectionModel()->setCurrentIndex(console.listModel().index(1, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    console.focus(list.activeView());
    for (int view : {SystemListView::LargeIcons, SystemListView::SmallIcons, SystemListView::List,
                     SystemListView::Details}) {
        list.setView(view);
        QCOMPARE(list.view(), view);
        QVERIFY(list.activeView()->isVisible());
        QTRY_COMPARE(console.window->focusWidget(), list.activeView());
        QCOMPARE(console.window->selection().Get_Active_Selected_Key(), console.loose);
        QVERIFY(list.activeView()->dragEnabled());
        QVERIFY(list.activeView()->viewport()->acceptDrops());
    }
}

void TestMainWindowTree::menusCarryTheirNames_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"mnuFile", "mnuView", "mnuTools", "mnuHelp", "mnuPopup", "mnuPUInternet",
                             "mnuPUService", "mnuPUGroup", "mnuPUSystem", "mnuFleGroup", "mnuToolsInternet"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestMainWindowTree::menusCarryTheirNames() {
    QFETCH(QString, name);
    Console console;
    QVERIFY(console.window->findChild<QMenu*>(name));
    QCOMPARE(console.window->findChildren<QAction*>(QStringLiteral("mnuViewType")).size(), 4);
    QCOMPARE(console.window->menus().mnuViewType[3]->text(), QStringLiteral("&Details"));
    QVERIFY(console.window->menus().mnuViewType[3]->isChecked());
    QCOMPARE(console.window->menus().mnuPUSynchronize->text(), QStringLiteral("Refresh"));
}

QTEST_MAIN(TestMainWindowTree)
#include "tst_mainwindowtree.moc"
