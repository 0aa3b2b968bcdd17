#pragma once

class QTreeView;
class QWidget;

namespace kestrava {

class ConsoleSelection;
class PolicyLines;
class SystemListModel;
class SystemListView;
class SystemTreeModel;
struct ConsoleServices;
struct TreeNode;

// What the commands and dialogs reach of the window that shows the systems: its tree and list with their
// models, what is selected, and the list's filling. They sit below the window and see it only through this.
class SystemsWindow {
public:
    virtual ~SystemsWindow() = default;

    // The owner of message boxes and of the windows that the commands open.
    virtual QWidget& widget() = 0;
    virtual ConsoleServices& services() const = 0;
    virtual ConsoleSelection& selection() const = 0;
    virtual QTreeView& treSystems() const = 0;
    virtual SystemListView& lvwSystems() const = 0;
    virtual SystemTreeModel& treeModel() const = 0;
    virtual SystemListModel& listModel() const = 0;
    virtual PolicyLines& policyLines() const = 0;
    // Clears the list and fills it for node (nothing when node is null).
    virtual void Show_Node_In_List(const TreeNode* node) = 0;
    // Makes node the tree's selected node, which fills the list for it.
    virtual void selectNode(const TreeNode* node) = 0;
};

} // namespace kestrava
