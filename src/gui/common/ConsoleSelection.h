#pragma once

#include <QString>

class QTreeView;
class QWidget;

namespace kestrava {

class SystemListView;
class SystemTree;
struct TreeNode;

// What the administrator has selected, as the focused control of the main window decides: the tree's
// selected node or the list's selected item. Any other focused control means no selection.
class ConsoleSelection {
public:
    enum class Control { Other, Tree, List };

    ConsoleSelection(QWidget& window, QTreeView& tree, SystemListView& list, SystemTree& systems);

    Control focusedControl() const;
    // The tree's selected node, whatever has the focus; nullptr when none.
    TreeNode* treeSelectedNode() const;
    // The key and text of the list's selected item, whatever has the focus; false when none.
    bool listSelectedItem(QString& key, QString& text) const;

    bool Get_Selected_Items_Key_And_Text(QString& key, QString& text) const;
    bool Get_Selected_Items_Parents_Key_And_Text(QString& key, QString& text) const;
    QString Get_Selected_Items_Parents_Key() const;
    QString Get_Active_Selected_Key() const;

private:
    // The tree node of the selection of the focused control; nullptr when there is none.
    TreeNode* selectedNode() const;

    QWidget& m_window;
    QTreeView& m_tree;
    SystemListView& m_list;
    SystemTree& m_systems;
};

} // namespace kestrava
