#include "gui/mainwindow/MainWindow.h"

#include "core/console/NodeRoles.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/console/SystemTreeModel.h"
#include "core/console/TreeLoader.h"
#include "core/link/ConnectionManager.h"
#include "core/link/KeyPins.h"
#include "core/policy/PolicyLines.h"
#include "core/startup/ConsoleServices.h"
#include "core/startup/ProductTitle.h"
#include "gui/commands/HelpCommands.h"
#include "gui/commands/ListCommands.h"
#include "gui/commands/MainMenus.h"
#include "gui/commands/ManagementCommands.h"
#include "gui/commands/PolicyMenuCommands.h"
#include "gui/commands/ServiceMenuCommands.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/MessageBoxPrompt.h"
#include "gui/common/OffsetDragView.h"
#include "gui/common/SystemListView.h"
#include "gui/mainwindow/CommandStates.h"
#include "gui/mainwindow/MainLayout.h"
#include "gui/mainwindow/MainToolBar.h"
#include "gui/mainwindow/NodeIconProxy.h"
#include "gui/mainwindow/PolicyColumnProxy.h"
#include "gui/mainwindow/StatusPanels.h"
#include "gui/mainwindow/ViewCommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

namespace kestrava {

namespace {

constexpr int kRowsMeasured = 100;
// A computer reports its internet state just after it connects: its row is measured with it.
constexpr int kRowsSettleMs = 1000;

} // namespace

MainWindow::MainWindow(ConsoleServices& services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(productTitle());

    m_menus = new MainMenus(menuBar(), this);
    buildViews();
    m_listCommands = new ListCommands(*this, m_services.db, *m_selection, this);
    m_listCommands->connectMenus(*m_menus);
    m_listCommands->setLink(m_services.messenger, m_services.connections);
    m_policyCommands = new PolicyMenuCommands(*this, m_services.db, m_services.clock, *m_selection, this);
    m_policyCommands->connectMenus(*m_menus);
    m_policyCommands->setLink(m_services.messenger);
    connect(m_policyCommands, &PolicyMenuCommands::policyChanged, m_policyLines, &PolicyLines::policyChanged);

    m_versionPanel = new QLabel(QStringLiteral("ver. ") + versionText(), this);
    statusBar()->addWidget(m_versionPanel);
    buildCommands();
    resize(900, 600);
    loadSystems();
}

void MainWindow::buildCommands() {
    m_ownPrompt = std::make_unique<MessageBoxPrompt>();
    m_tlbMain = new MainToolBar(this);
    addToolBar(Qt::TopToolBarArea, m_tlbMain);
    m_managementCommands = new ManagementCommands(*this, *m_ownPrompt, this);
    m_managementCommands->connectMenus(*m_menus);
    m_commandStates = new CommandStates(*this, *m_menus, *m_tlbMain, this);
    m_viewCommands = new ViewCommands(*this, *m_menus, this);
    m_mainLayout = new MainLayout(*this, *m_splitter, this);
    m_statusPanels =
        new StatusPanels(*statusBar(), *m_versionPanel, *m_menus->mnuHelpKV, m_services.clock, this);
    connect(m_menus->mnuFleExit, &QAction::triggered, this, &QWidget::close);
    m_helpCommands = new HelpCommands(*this, *m_ownPrompt, QCoreApplication::applicationDirPath(), this);
    m_helpCommands->connectMenus(*m_menus);
    m_serviceCommands =
        new ServiceMenuCommands(*this, m_services, *m_selection, *m_versionPanel, *m_ownPrompt, this);
    m_serviceCommands->connectMenus(*m_menus);
    setLink(m_services.connections, m_services.messenger);
}

void MainWindow::setPrompt(Prompt& prompt) {
    m_managementCommands->setPrompt(prompt);
    m_helpCommands->setPrompt(prompt);
    m_serviceCommands->setPrompt(prompt);
    m_listCommands->setPrompt(prompt);
    m_policyCommands->setPrompt(prompt);
}

void MainWindow::setSysTray(TraySwitch* tray) {
    m_sysTray = tray;
    // The options window shows and switches the same icon.
    m_listCommands->setTraySwitch(tray);
}

void MainWindow::setLink(ConnectionManager* connections, Messenger* messenger) {
    m_managementCommands->setLink(connections, messenger);
    m_listCommands->setLink(messenger, connections);
    disconnect(m_linkRows);
    if (!connections) {
        setRemoteAddressLookup({});
        m_listModel->setAuthenticatedLookup({});
        return;
    }
    setRemoteAddressLookup([connections](const QString& key) { return connections->remoteAddress(key); });
    m_listModel->setAuthenticatedLookup([connections](const QString& key) {
        return !KeyPins::presentedBy(connections->connectionAt(connections->Find_Socket_Of_System(key)))
                    .isEmpty();
    });
    m_linkRows =
        connect(connections, &ConnectionManager::listItemChanged, m_listModel, &SystemListModel::refreshKey);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildViews() {
    m_treeModel = new SystemTreeModel(m_services.tree, this);
    m_treeIcons = new NodeIconProxy(this);
    m_treeIcons->setSourceModel(m_treeModel);
    m_listModel = new SystemListModel(m_services.tree, this);
    m_listIcons = new NodeIconProxy(this);
    m_listIcons->setSourceModel(m_listModel);
    m_policyLines = new PolicyLines(m_services.db, m_services.clock, this);
    m_listPolicy = new PolicyColumnProxy(*m_policyLines, this);
    m_listPolicy->setSourceModel(m_listIcons);
    // A move or a new filling may change whose policy a system follows.
    connect(m_listModel, &SystemListModel::nodeShown, m_policyLines, &PolicyLines::policyChanged);
    // Each filling, and the first rows to arrive in an empty list, size the columns to their texts once,
    // when the first reports of those rows are in; a width that the administrator sets is kept from then on.
    m_sizeColumns.setSingleShot(true);
    m_sizeColumns.setInterval(kRowsSettleMs);
    connect(&m_sizeColumns, &QTimer::timeout, this, &MainWindow::sizeColumnsToRows);
    connect(m_listModel, &QAbstractItemModel::modelReset, this, &MainWindow::sizeColumnsSoon);
    connect(m_listModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first) {
        if (first == 0)
            sizeColumnsSoon();
    });

    auto* splitter = new QSplitter(this);
    m_splitter = splitter;
    splitter->setObjectName(QStringLiteral("splMain"));
    splitter->setChildrenCollapsible(false);
    m_treSystems = new OffsetDragView<QTreeView>(splitter);
    m_treSystems->setObjectName(QStringLiteral("treSystems"));
    m_treSystems->setHeaderHidden(true);
    // Every node is one line: without this the view measures each changed row and walks the rows above
    // it, which thousands of systems changing at once turn into seconds.
    m_treSystems->setUniformRowHeights(true);
    m_treSystems->setModel(m_treeIcons);
    m_lvwSystems = new SystemListView(splitter);
    m_lvwSystems->setModel(m_listPolicy);
    QHeaderView* columns = m_lvwSystems->detailsView()->header();
    connect(columns, &QHeaderView::sectionResized, this, [this, columns](int logical) {
        // The last section stretches with the window; any other change while shown is the administrator's.
        const bool stretched =
            columns->stretchLastSection() && columns->visualIndex(logical) == columns->count() - 1;
        if (!m_sizingColumns && !stretched && isVisible())
            m_columnsKept = true;
    });
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 5);
    setCentralWidget(splitter);
    m_selection = std::make_unique<ConsoleSelection>(*this, *m_treSystems, *m_lvwSystems, m_services.tree);

    connect(m_treSystems->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                Show_Node_In_List(m_services.tree.Get_Node_Index_From_Key(current.data(KeyRole).toString()));
            });
    // A click on the node already chosen fills the list again, so it never stays stale.
    connect(m_treSystems, &QTreeView::clicked, this, [this](const QModelIndex& at) {
        Show_Node_In_List(m_services.tree.Get_Node_Index_From_Key(at.data(KeyRole).toString()));
    });
    // Collapsing a parent of the chosen node chooses the parent: commands act only on what is seen.
    connect(m_treSystems, &QTreeView::collapsed, this, [this](const QModelIndex& parent) {
        for (QModelIndex at = m_treSystems->currentIndex().parent(); at.isValid(); at = at.parent()) {
            if (at == parent) {
                m_treSystems->setCurrentIndex(parent);
                return;
            }
        }
    });
}

void MainWindow::loadSystems() {
    Load_Systems_Tree(m_services.db, m_services.tree);
    m_treSystems->expand(m_treeIcons->index(0, 0));
    selectNode(m_services.tree.root());
}

void MainWindow::rememberLayoutIn(const QString& file) {
    m_layoutFile = file;
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("MainWindow"));
    if (settings.contains(QStringLiteral("geometry")))
        restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    if (settings.contains(QStringLiteral("treeShare")))
        m_mainLayout->setTreeShare(settings.value(QStringLiteral("treeShare")).toDouble());
    if (settings.contains(QStringLiteral("view")))
        m_viewCommands->setView(settings.value(QStringLiteral("view")).toInt());
    if (settings.contains(QStringLiteral("columns")))
        m_columnsKept = m_lvwSystems->detailsView()->header()->restoreState(
            settings.value(QStringLiteral("columns")).toByteArray());
}

void MainWindow::saveLayout() const {
    // Nothing worth keeping before the window was first shown.
    if (m_layoutFile.isEmpty() || !m_wasShown)
        return;
    QSettings settings(m_layoutFile, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("MainWindow"));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("treeShare"), m_mainLayout->treeShare());
    settings.setValue(QStringLiteral("view"), m_lvwSystems->view());
    // Only widths that the administrator set: the others are sized to the rows again at the next start.
    if (m_columnsKept)
        settings.setValue(QStringLiteral("columns"), m_lvwSystems->detailsView()->header()->saveState());
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    m_wasShown = true;
    sizeColumnsSoon();
}

void MainWindow::sizeColumnsSoon() {
    if (!m_columnsKept && m_listModel->count() > 0 && !m_sizeColumns.isActive())
        m_sizeColumns.start();
}

void MainWindow::sizeColumnsToRows() {
    if (m_columnsKept || !isVisible())
        return;
    // Over at most the first rows: thousands would take seconds.
    QHeaderView* header = m_lvwSystems->detailsView()->header();
    header->setResizeContentsPrecision(kRowsMeasured);
    m_sizingColumns = true;
    for (int column = 0; column < SystemListModel::ColumnCount; ++column)
        m_lvwSystems->detailsView()->resizeColumnToContents(column);
    m_sizingColumns = false;
}

void MainWindow::hideEvent(QHideEvent* event) {
    saveLayout();
    QMainWindow::hideEvent(event);
}

void MainWindow::setRemoteAddressLookup(RemoteAddressLookup lookup) {
    m_listModel->setRemoteAddressLookup(std::move(lookup));
}

void MainWindow::Show_Node_In_List(const TreeNode* node) {
    m_listModel->Show_Node_In_List(node);
}

void MainWindow::selectNode(const TreeNode* node) {
    const QModelIndex at = m_treeIcons->mapFromSource(m_treeModel->indexOf(node));
    if (!at.isValid())
        return;
    m_treSystems->setCurrentIndex(at);
    Show_Node_In_List(node);
}

} // namespace kestrava
