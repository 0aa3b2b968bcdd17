#include "gui/mainwindow/CommandStates.h"

#include "core/console/NodeRoles.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/startup/ConsoleServices.h"
#include "core/store/DatabaseError.h"
#include "gui/commands/MainMenus.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/SystemListView.h"
#include "gui/mainwindow/MainToolBar.h"
#include "gui/mainwindow/MainWindow.h"

#include <QAction>
#include <QEvent>
#include <QListView>
#include <QMenu>
#include <QTreeView>

namespace kestrava {

CommandStates::CommandStates(MainWindow& window, MainMenus& menus, MainToolBar& toolBar, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_menus(menus)
    , m_toolBar(toolBar)
    , m_availability(window.services().db, window.services().clock) {
    forwardToolBar();
    connectViews();
    connect(m_menus.mnuFile, &QMenu::aboutToShow, this, &CommandStates::setFileMenuState);
    connect(m_menus.mnuTools, &QMenu::aboutToShow, this,
            [this] { Set_Tools_Menu_State(m_window.selection().Get_Active_Selected_Key()); });
    connect(m_toolBar.viewItems, &QMenu::aboutToShow, this, &CommandStates::prepareViewsDropDown);
    connect(&m_window.listModel(), &SystemListModel::nodeShown, this, [this](const QString& key) {
        Set_Toolbar_State(selectionKindOf(key));
        m_toolBar.Delete->setEnabled(true);
    });
    Set_Toolbar_State(SelectionKind::Nothing);
}

void CommandStates::forwardToolBar() {
    const std::pair<QAction*, QAction*> forwards[] = {
        {m_toolBar.AddNewGroup, m_menus.mnuPUGroupAddNew},
        {m_toolBar.Delete, m_menus.mnuPUDelete},
        {m_toolBar.Rename, m_menus.mnuPURename},
        {m_toolBar.Refresh, m_menus.mnuPURefresh},
        {m_toolBar.Scheduler, m_menus.mnuPUScheduler},
        {m_toolBar.Timer, m_menus.mnuPUTimer},
        {m_toolBar.WhiteList, m_menus.mnuPUWhiteList},
        {m_toolBar.AppBlocker, m_menus.mnuPUAppBlocker},
        {m_toolBar.ONInternet, m_menus.mnuPUInternetOnOff[0]},
        {m_toolBar.OFFInternet, m_menus.mnuPUInternetOnOff[1]},
        {m_toolBar.Options, m_menus.mnuToolsOptions},
    };
    for (const auto& [button, item] : forwards)
        connect(button, &QAction::triggered, item, [item = item] { item->trigger(); });
    connect(m_toolBar.Properties, &QAction::triggered, this, [this] {
        const SelectionKind kind = selectionKindOf(m_window.selection().Get_Active_Selected_Key());
        if (kind == SelectionKind::Group || kind == SelectionKind::System)
            m_menus.mnuPUProperties->trigger();
    });
    for (std::size_t i = 0; i < m_toolBar.views.size(); ++i) {
        QAction* item = m_menus.mnuViewType[i];
        connect(m_toolBar.views[i], &QAction::triggered, item, [item] { item->trigger(); });
    }
}

void CommandStates::connectViews() {
    QTreeView& tree = m_window.treSystems();
    SystemListView& list = m_window.lvwSystems();
    tree.installEventFilter(this);
    tree.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&tree, &QWidget::customContextMenuRequested, this, [this, &tree](const QPoint& at) {
        const QModelIndex index = tree.indexAt(at);
        Show_Popup_Menu(index.isValid()
                            ? m_window.services().tree.Get_Node_Index_From_Key(index.data(KeyRole).toString())
                            : nullptr,
                        tree.viewport()->mapToGlobal(at));
    });
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(list.detailsView()),
                                    static_cast<QAbstractItemView*>(list.iconView())}) {
        view->installEventFilter(this);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            const QModelIndex index = view->indexAt(at);
            if (!index.isValid())
                view->selectionModel()->clearSelection();
            Show_Popup_Menu(index.isValid() ? m_window.services().tree.Get_Node_Index_From_Key(
                                                  index.data(KeyRole).toString())
                                            : nullptr,
                            view->viewport()->mapToGlobal(at));
        });
        connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
            const bool group = selectionKindOf(index.data(KeyRole).toString()) == SelectionKind::Group;
            Set_Toolbar_State(group ? SelectionKind::Group : SelectionKind::System);
        });
    }
}

bool CommandStates::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        Set_Toolbar_State(selectionKindOf(m_window.selection().Get_Active_Selected_Key()));
    // F2 and Del reach their File commands only when these fit what is selected now.
    if (event->type() == QEvent::ShortcutOverride)
        setFileMenuState();
    return QObject::eventFilter(watched, event);
}

void CommandStates::Set_Toolbar_State(SelectionKind kind) {
    const ToolbarPolicyButtons on = CommandAvailability::Set_Toolbar_State(kind);
    m_toolBar.InternetSetting->setEnabled(on.internetSetting);
    m_toolBar.Scheduler->setEnabled(on.scheduler);
    m_toolBar.Timer->setEnabled(on.timer);
    m_toolBar.WhiteList->setEnabled(on.whiteList);
    m_toolBar.AppBlocker->setEnabled(on.appBlocker);
}

void CommandStates::setFileMenuState() {
    const FileMenuItems on =
        CommandAvailability::fileMenuState(m_window.selection().Get_Active_Selected_Key());
    m_menus.mnuFleDelete->setEnabled(on.deleteItem);
    m_menus.mnuFleWhiteList->setEnabled(on.whiteList);
    m_menus.mnuFleAppBlocker->setEnabled(on.appBlocker);
    m_menus.mnuFleProperties->setEnabled(on.properties);
    m_menus.mnuFleRename->setEnabled(on.rename);
    m_menus.mnuFleSynchronise->setEnabled(on.synchronise);
}

void CommandStates::Reset_Popup_Policy_Items() {
    for (QAction* item : {m_menus.mnuPUInternetOnOff[0], m_menus.mnuPUInternetOnOff[1],
                          m_menus.mnuPUScheduler, m_menus.mnuPUTimer})
        item->setChecked(false);
    for (QAction* item : {m_menus.mnuPUClearAllSchedules, m_menus.mnuPUInheritParentsSchedule,
                          m_menus.mnuPUSetInternetSettingsToClients})
        item->setEnabled(false);
}

void CommandStates::Reset_Tools_Policy_Items() {
    for (QAction* item : {m_menus.mnuToolsInternetOnOff[0], m_menus.mnuToolsInternetOnOff[1],
                          m_menus.mnuToolsScheduler, m_menus.mnuToolsTimer}) {
        item->setChecked(false);
        item->setEnabled(true);
    }
    for (QAction* item : {m_menus.mnuToolsClearAllSchedules, m_menus.mnuToolsInheritParentsSchedule,
                          m_menus.mnuToolsSetInternetSettingsToClients})
        item->setEnabled(false);
}

void CommandStates::setPopupVisibility(const PopupVisibility& shown) {
    for (QAction* item : {m_menus.mnuPUInternet->menuAction(), m_menus.mnuPUScheduler, m_menus.mnuPUTimer,
                          m_menus.mnuPUSptrSchedule})
        item->setVisible(shown.policy);
    m_menus.mnuPUSetInternetSettingsToClients->setVisible(shown.setToClients);
    m_menus.mnuPUInheritParentsSchedule->setVisible(shown.inherit);
    m_menus.mnuPUClearAllSchedules->setVisible(shown.clear);
    for (QAction* item : {m_menus.mnuPUSptr1, m_menus.mnuPUSptr2, m_menus.mnuPUSystem->menuAction()})
        item->setVisible(false);
    m_menus.mnuPUGroup->menuAction()->setVisible(shown.addNewGroup);
    for (QAction* item : {m_menus.mnuPUSptr3, m_menus.mnuPUDelete, m_menus.mnuPURename,
                          m_menus.mnuPUSynchronize, m_menus.mnuPUProperties})
        item->setVisible(shown.nodeCommands);
    m_menus.mnuPUWhiteList->setVisible(shown.groupLists);
    m_menus.mnuPUAppBlocker->setVisible(shown.groupLists);
    m_menus.mnuPUSptr4->setVisible(shown.refresh);
    m_menus.mnuPURefresh->setVisible(shown.refresh);
    m_menus.mnuPUSptr5->setVisible(shown.service);
    m_menus.mnuPUService->menuAction()->setVisible(shown.service);
}

void CommandStates::applyPopupPolicy(const PolicyItems& items) {
    m_menus.mnuPUInternetOnOff[0]->setChecked(items.onChecked);
    m_menus.mnuPUInternetOnOff[1]->setChecked(items.offChecked);
    m_menus.mnuPUScheduler->setChecked(items.schedulerChecked);
    m_menus.mnuPUTimer->setChecked(items.timerChecked);
    m_menus.mnuPUClearAllSchedules->setEnabled(items.clearEnabled);
    m_menus.mnuPUInheritParentsSchedule->setEnabled(items.inheritEnabled);
    m_menus.mnuPUSetInternetSettingsToClients->setEnabled(items.setToClientsEnabled);
    m_menus.mnuPUServiceBlankScreen->setChecked(items.blankScreenChecked);
}

bool CommandStates::preparePopup(const TreeNode* node) {
    Reset_Popup_Policy_Items();
    if (node && selectionKindOf(node->key) == SelectionKind::Root)
        return false;
    setPopupVisibility(CommandAvailability::popupVisibility(node));
    if (!node)
        return true;
    try {
        applyPopupPolicy(m_availability.popupPolicy(node));
    } catch (const DatabaseError&) {
        return false;
    }
    return true;
}

void CommandStates::Show_Popup_Menu(const TreeNode* node, const QPoint& globalPos) {
    if (preparePopup(node))
        m_menus.mnuPopup->popup(globalPos);
}

void CommandStates::Set_Tools_Menu_State(const QString& key) {
    Reset_Tools_Policy_Items();
    PolicyItems items;
    try {
        items =
            m_availability.Set_Tools_Menu_State(key, m_window.selection().Get_Selected_Items_Parents_Key());
    } catch (const DatabaseError&) {
        return;
    }
    m_menus.mnuToolsInternetOnOff[0]->setChecked(items.onChecked);
    m_menus.mnuToolsInternetOnOff[1]->setChecked(items.offChecked);
    m_menus.mnuToolsScheduler->setChecked(items.schedulerChecked);
    m_menus.mnuToolsTimer->setChecked(items.timerChecked);
    m_menus.mnuToolsClearAllSchedules->setEnabled(items.clearEnabled);
    m_menus.mnuToolsInheritParentsSchedule->setEnabled(items.inheritEnabled);
    m_menus.mnuToolsSetInternetSettingsToClients->setEnabled(items.setToClientsEnabled);
    m_menus.mnuToolsInternet->menuAction()->setEnabled(items.commandsEnabled);
    m_menus.mnuToolsScheduler->setEnabled(items.commandsEnabled);
    m_menus.mnuToolsTimer->setEnabled(items.commandsEnabled);
}

void CommandStates::prepareViewsDropDown() {
    for (QAction* item : m_toolBar.views)
        item->setEnabled(true);
    m_toolBar.views[static_cast<std::size_t>(m_window.lvwSystems().view())]->setEnabled(false);
}

} // namespace kestrava
