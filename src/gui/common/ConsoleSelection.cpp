#include "gui/common/ConsoleSelection.h"

#include "core/console/NodeRoles.h"
#include "core/console/SystemTree.h"
#include "gui/common/SystemListView.h"

#include <QItemSelectionModel>
#include <QTreeView>

namespace kestrava {

ConsoleSelection::ConsoleSelection(QWidget& window, QTreeView& tree, SystemListView& list,
                                   SystemTree& systems)
    : m_window(window)
    , m_tree(tree)
    , m_list(list)
    , m_systems(systems) {}

ConsoleSelection::Control ConsoleSelection::focusedControl() const {
    const QWidget* focused = m_window.focusWidget();
    if (!focused)
        return Control::Other;
    if (focused == &m_tree || focused->parentWidget() == m_tree.viewport())
        return Control::Tree;
    if (m_list.ownsFocus())
        return Control::List;
    return Control::Other;
}

TreeNode* ConsoleSelection::treeSelectedNode() const {
    const QItemSelectionModel* selection = m_tree.selectionModel();
    if (!selection)
        return nullptr;
    QModelIndex at = selection->currentIndex();
    if (!at.isValid() || !selection->isSelected(at)) {
        const QModelIndexList selected = selection->selectedIndexes();
        at = selected.isEmpty() ? QModelIndex() : selected.front();
    }
    return at.isValid() ? m_systems.Get_Node_Index_From_Key(at.data(KeyRole).toString()) : nullptr;
}

bool ConsoleSelection::listSelectedItem(QString& key, QString& text) const {
    const QModelIndex item = m_list.selectedItem();
    if (!item.isValid())
        return false;
    key = item.data(KeyRole).toString();
    text = item.data(Qt::DisplayRole).toString();
    return true;
}

TreeNode* ConsoleSelection::selectedNode() const {
    switch (focusedControl()) {
    case Control::Tree:
        return treeSelectedNode();
    case Control::List: {
        QString key, text;
        return listSelectedItem(key, text) ? m_systems.Get_Node_Index_From_Key(key) : nullptr;
    }
    case Control::Other:
        break;
    }
    return nullptr;
}

bool ConsoleSelection::Get_Selected_Items_Key_And_Text(QString& key, QString& text) const {
    switch (focusedControl()) {
    case Control::Tree:
        if (const TreeNode* node = treeSelectedNode()) {
            key = node->key;
            text = node->text;
            return true;
        }
        return false;
    case Control::List:
        return listSelectedItem(key, text);
    case Control::Other:
        break;
    }
    return false;
}

bool ConsoleSelection::Get_Selected_Items_Parents_Key_And_Text(QString& key, QString& text) const {
    const TreeNode* node = selectedNode();
    if (!node || !node->parent)
        return false;
    key = node->parent->key;
    text = node->parent->text;
    return true;
}

QString ConsoleSelection::Get_Selected_Items_Parents_Key() const {
    QString key, text;
    return Get_Selected_Items_Parents_Key_And_Text(key, text) ? key : QString();
}

QString ConsoleSelection::Get_Active_Selected_Key() const {
    QString key, text;
    return Get_Selected_Items_Key_And_Text(key, text) ? key : QString();
}

} // namespace kestrava
