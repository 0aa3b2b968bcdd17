#pragma once

#include <QAbstractItemModel>

namespace kestrava {

class SystemTree;
struct TreeNode;

// The tree of groups and systems as an item model: one column, the node's text, with its key, images and
// tag in the roles of NodeRoles.h. Follows every change of the tree through its signals.
class SystemTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit SystemTreeModel(SystemTree& tree, QObject* parent = nullptr);

    SystemTree& tree() const { return m_tree; }
    QModelIndex indexOf(const TreeNode* node) const;
    static TreeNode* nodeAt(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void connectTree();

    SystemTree& m_tree;
};

} // namespace kestrava
