#pragma once

#include "core/console/TreeNode.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <vector>

namespace kestrava {

// The console's working copy of groups and systems. Keys are unique ignoring case and looked up by hash;
// nodesInOrder() keeps the order in which nodes were added, which is the order of every walk over
// all nodes.
class SystemTree : public QObject {
    Q_OBJECT
public:
    explicit SystemTree(QObject* parent = nullptr);
    ~SystemTree() override;

    // Removes every node and adds the root again.
    void reset();

    TreeNode* root() const { return m_root.get(); }
    // The node whose key equals key ignoring case, or nullptr.
    TreeNode* Get_Node_Index_From_Key(const QString& key) const;
    const std::vector<TreeNode*>& nodesInOrder() const { return m_order; }
    int count() const { return static_cast<int>(m_order.size()); }

    // Appends a node as the parent's last child. Returns nullptr when the key is taken.
    TreeNode* addNode(TreeNode* parent, const QString& key, const QString& text, NodeImage image,
                      NodeImage selectedImage);
    void removeNode(TreeNode* node);
    // Moves a node and its children to the end of newParent's children; its walk order is kept.
    void moveNode(TreeNode* node, TreeNode* newParent);

    void setText(TreeNode* node, const QString& text);
    // Returns false when another node holds the new key.
    bool setKey(TreeNode* node, const QString& key);
    void setImages(TreeNode* node, NodeImage image, NodeImage selectedImage);
    void setTag(TreeNode* node, const QString& tag);

    // The systems of a group in child order, or the system itself.
    std::vector<TreeNode*> systemsOf(const TreeNode* node) const;

signals:
    void aboutToReset();
    void resetDone();
    void nodeAboutToBeAdded(TreeNode* parent, int row);
    void nodeAdded(TreeNode* node);
    void nodeAboutToBeRemoved(TreeNode* node);
    void nodeRemoved(TreeNode* formerParent);
    void nodeAboutToBeMoved(TreeNode* node, TreeNode* newParent);
    void nodeMoved(TreeNode* node);
    void nodeChanged(TreeNode* node);

private:
    static QString hashKey(const QString& key) { return key.toUpper(); }
    void forget(TreeNode* node);

    std::unique_ptr<TreeNode> m_root;
    QHash<QString, TreeNode*> m_byKey;
    std::vector<TreeNode*> m_order;
};

} // namespace kestrava
