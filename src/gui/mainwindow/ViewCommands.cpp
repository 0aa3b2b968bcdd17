#include "gui/mainwindow/ViewCommands.h"

#include "core/console/NodeRoles.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/startup/ConsoleServices.h"
#include "gui/commands/MainMenus.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/SystemListView.h"
#include "gui/mainwindow/MainWindow.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>

namespace kestrava {

ViewCommands::ViewCommands(MainWindow& window, MainMenus& menus, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_menus(menus) {
    for (std::size_t i = 0; i < m_menus.mnuViewType.size(); ++i)
        connect(m_menus.mnuViewType[i], &QAction::triggered, this,
                [this, i] { setView(static_cast<int>(i)); });
    for (QAction* item : {m_menus.mnuViewRefresh, m_menus.mnuPURefresh})
        connect(item, &QAction::triggered, this, &ViewCommands::refresh);
    SystemListView& list = m_window.lvwSystems();
    connect(list.detailsView()->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { m_window.listModel().sort(column); });
    connect(&list, &SystemListView::itemDoubleClicked, this, &ViewCommands::drillDown);
    connect(m_menus.mnuViewFind, &QAction::triggered, &list, [&list] {
        list.findLine()->setFocus(Qt::ShortcutFocusReason);
        list.findLine()->selectAll();
    });
    setView(SystemListView::Details);
}

void ViewCommands::setView(int index) {
    if (index < 0 || index >= static_cast<int>(m_menus.mnuViewType.size()))
        return;
    m_menus.mnuViewType[static_cast<std::size_t>(index)]->setChecked(true);
    m_window.lvwSystems().setView(index);
}

void ViewCommands::refresh() {
    m_window.Show_Node_In_List(m_window.selection().treeSelectedNode());
    m_window.treSystems().viewport()->update();
    m_window.lvwSystems().activeView()->viewport()->update();
}

void ViewCommands::drillDown(const QModelIndex& item) {
    if (!item.isValid())
        return;
    const TreeNode* node = m_window.services().tree.Get_Node_Index_From_Key(item.data(KeyRole).toString());
    if (!node)
        return;
    m_window.selectNode(node);
    m_window.treSystems().expand(m_window.treSystems().currentIndex());
}

} // namespace kestrava
