#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace kestrava {

// Images of tree nodes and list rows.
enum class NodeImage { Root = 1, Group = 2, SelectedGroup = 3, SystemOffline = 4, SystemOnline = 5 };

// One node of the tree of groups and systems. Owned by its parent; the root by the tree.
struct TreeNode {
    QString key;
    QString text;
    NodeImage image = NodeImage::Root;
    NodeImage selectedImage = NodeImage::Root;
    // A system's status text as last reported; empty for groups and the root.
    QString tag;
    TreeNode* parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children;
    mutable std::size_t rowHint = 0;

    // The index among the parent's children. The last answer is tried first, so a node that kept its
    // place costs one comparison, not a walk over thousands of siblings.
    int row() const;
    bool isConnected() const { return image == NodeImage::SystemOnline; }
};

} // namespace kestrava
