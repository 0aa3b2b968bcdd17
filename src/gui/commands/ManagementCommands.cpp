#include "gui/commands/ManagementCommands.h"

#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/console/SystemTreeModel.h"
#include "core/management/GroupSystemManager.h"
#include "core/startup/ConsoleServices.h"
#include "core/store/DatabaseError.h"
#include "gui/commands/LabelEditDelegate.h"
#include "gui/commands/MainMenus.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/Prompt.h"
#include "gui/common/PromptQuestions.h"
#include "gui/common/SystemListView.h"
#include "gui/common/SystemsWindow.h"
#include "gui/dialogs/PropertiesDialog.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QListView>
#include <QTimer>
#include <QTreeView>

namespace kestrava {

ManagementCommands::ManagementCommands(SystemsWindow& window, Prompt& prompt, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_prompt(&prompt)
    , m_questions(std::make_unique<PromptQuestions>(prompt, window.widget()))
    , m_manager(std::make_unique<GroupSystemManager>(window.services().db, window.services().tree,
                                                     window.listModel(), *m_questions)) {
    installLabelEditing();
    installDragAndDrop();
    connect(&m_window.treeModel(), &SystemTreeModel::keysDropped, this, &ManagementCommands::dropOnTree,
            Qt::QueuedConnection);
    connect(&m_window.listModel(), &SystemListModel::keysDropped, this, &ManagementCommands::dropOnList,
            Qt::QueuedConnection);
}

ManagementCommands::~ManagementCommands() = default;

void ManagementCommands::connectMenus(const MainMenus& menus) {
    for (QAction* item : {menus.mnuPUGroupAddNew, menus.mnuFleGroupAddNew})
        connect(item, &QAction::triggered, this, &ManagementCommands::addNewGroup);
    for (QAction* item : {menus.mnuPURename, menus.mnuFleRename})
        connect(item, &QAction::triggered, this, &ManagementCommands::renameSelected);
    for (QAction* item : {menus.mnuPUDelete, menus.mnuFleDelete})
        connect(item, &QAction::triggered, this, &ManagementCommands::deleteSelected);
    connect(menus.mnuPUSystemSetDefaultName, &QAction::triggered, this, &ManagementCommands::setDefaultNames);
    for (QAction* item : {menus.mnuPUProperties, menus.mnuFleProperties})
        connect(item, &QAction::triggered, this, &ManagementCommands::showProperties);
}

void ManagementCommands::setPrompt(Prompt& prompt) {
    m_prompt = &prompt;
    m_questions->setPrompt(prompt);
}

void ManagementCommands::setLink(ConnectionManager* connections, Messenger* messenger) {
    m_manager->setLink(connections, messenger);
}

template <typename Work> void ManagementCommands::guarded(Work work) {
    try {
        work();
    } catch (const DatabaseError& error) {
        m_prompt->error(&m_window.widget(), error.toMessage());
    }
}

void ManagementCommands::installLabelEditing() {
    // The rename runs after the editor has closed, so that its message boxes never interrupt the view.
    auto deferred = [this](bool refreshList) {
        return [this, refreshList](const QString& key, const QString& text) {
            QTimer::singleShot(0, this,
                               [this, key, text, refreshList] { commitLabel(key, text, refreshList); });
        };
    };
    QTreeView& tree = m_window.treSystems();
    tree.setItemDelegate(new LabelEditDelegate(deferred(true), &tree));
    // F2 and the Rename command only: a click on the selected node refills the list, never opens an editor.
    tree.setEditTriggers(QAbstractItemView::EditKeyPressed);
    SystemListView& list = m_window.lvwSystems();
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(list.detailsView()),
                                    static_cast<QAbstractItemView*>(list.iconView())}) {
        view->setItemDelegate(new LabelEditDelegate(deferred(false), view));
        view->setEditTriggers(QAbstractItemView::EditKeyPressed);
    }
}

void ManagementCommands::installDragAndDrop() {
    QTreeView& tree = m_window.treSystems();
    tree.setDragEnabled(true);
    tree.setAcceptDrops(true);
    tree.setDropIndicatorShown(true);
    tree.setDragDropMode(QAbstractItemView::DragDrop);
    tree.setDefaultDropAction(Qt::MoveAction);
    // A drop anywhere on a node's row is a drop on that node, never a gap between rows that is ignored.
    tree.setDragDropOverwriteMode(true);
    m_window.lvwSystems().setDragAndDrop(true);
}

void ManagementCommands::commitLabel(const QString& key, const QString& text, bool refreshList) {
    // An editor closed on the unchanged name changes nothing, so it is no conflict with itself.
    const TreeNode* node = m_window.services().tree.Get_Node_Index_From_Key(key);
    if (node && node->text == text)
        return;
    guarded([&] { m_manager->Change_Group_Or_System_Name(key, text, refreshList); });
}

void ManagementCommands::addNewGroup() {
    guarded([&] {
        TreeNode* group = m_manager->Add_New_Group();
        if (!group)
            return;
        m_window.selectNode(group);
        emit groupAdded();
        QTreeView& tree = m_window.treSystems();
        tree.setFocus();
        tree.edit(tree.currentIndex());
    });
}

void ManagementCommands::renameSelected() {
    ConsoleSelection& selection = m_window.selection();
    switch (selection.focusedControl()) {
    case ConsoleSelection::Control::Tree: {
        QTreeView& tree = m_window.treSystems();
        const QModelIndex current = tree.currentIndex();
        if (current.isValid() && !Keys::Is_Root_Key(current.data(KeyRole).toString()))
            tree.edit(current);
        break;
    }
    case ConsoleSelection::Control::List: {
        SystemListView& list = m_window.lvwSystems();
        const QModelIndex item = list.selectedItem();
        if (item.isValid())
            list.activeView()->edit(item);
        break;
    }
    case ConsoleSelection::Control::Other:
        break;
    }
}

void ManagementCommands::deleteSelected() {
    ConsoleSelection& selection = m_window.selection();
    SystemTree& tree = m_window.services().tree;
    // A group is deleted only after its question; its systems then go to the root. True for a group gone.
    auto remove = [this](TreeNode* node) {
        if (node && Keys::Is_Group_Key(node->key))
            return m_manager->deleteGroupMovingSystems(node);
        return m_manager->Delete_Group_Or_System(node);
    };
    guarded([&] {
        switch (selection.focusedControl()) {
        case ConsoleSelection::Control::Tree:
            // The root then shows, with the systems that came to it.
            if (remove(selection.treeSelectedNode()))
                m_window.selectNode(tree.root());
            m_window.Show_Node_In_List(selection.treeSelectedNode());
            break;
        case ConsoleSelection::Control::List: {
            QString key, text;
            if (selection.listSelectedItem(key, text) && remove(tree.Get_Node_Index_From_Key(key)))
                m_window.Show_Node_In_List(selection.treeSelectedNode());
            break;
        }
        case ConsoleSelection::Control::Other:
            break;
        }
    });
}

void ManagementCommands::setDefaultNames() {
    if (m_prompt->ask(
            &m_window.widget(),
            QStringLiteral("Are you sure you want to set the alias as default name for this System?"),
            Prompt::Answer::No) != Prompt::Answer::Yes)
        return;
    ConsoleSelection& selection = m_window.selection();
    QStringList keys;
    if (selection.focusedControl() == ConsoleSelection::Control::List) {
        const QModelIndexList rows = m_window.lvwSystems().selectionModel()->selectedRows();
        std::vector<int> ordered;
        for (const QModelIndex& row : rows)
            ordered.push_back(row.row());
        std::sort(ordered.begin(), ordered.end());
        for (int row : ordered)
            keys << m_window.listModel().rowAt(row).key;
    } else if (selection.focusedControl() == ConsoleSelection::Control::Tree) {
        if (const TreeNode* node = selection.treeSelectedNode())
            keys << node->key;
    }
    guarded([&] { m_manager->Set_Default_Names(keys); });
}

PropertiesDialog* ManagementCommands::showProperties() {
    const QString key = m_window.selection().Get_Active_Selected_Key();
    if (!Keys::Is_Group_Key(key) && !Keys::Is_System_Key(key))
        return nullptr;
    auto* dialog = new PropertiesDialog(m_window, *m_manager, *m_prompt);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    return dialog;
}

TreeNode* ManagementCommands::listOrigin() const {
    TreeNode* selected = m_window.selection().treeSelectedNode();
    if (selected && Keys::Is_System_Key(selected->key))
        return selected->parent;
    return selected;
}

void ManagementCommands::dropOnTree(bool fromList, const QStringList& keys, const QString& targetKey) {
    SystemTree& tree = m_window.services().tree;
    TreeNode* target = tree.Get_Node_Index_From_Key(targetKey);
    guarded([&] {
        if (fromList)
            m_manager->Move_Selected_Systems(target, listOrigin(), keys);
        else if (keys.size() == 1)
            m_manager->moveDraggedSystem(tree.Get_Node_Index_From_Key(keys.front()), target);
    });
}

void ManagementCommands::dropOnList(const QStringList& keys, const QString& targetKey) {
    TreeNode* target = m_window.services().tree.Get_Node_Index_From_Key(targetKey);
    guarded([&] { m_manager->Move_Selected_Systems(target, listOrigin(), keys); });
}

} // namespace kestrava
