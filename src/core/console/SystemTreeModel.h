#pragma once

#include "core/console/ChangedRows.h"

#include <QAbstractItemModel>
#include <QHash>

namespace kestrava {

class SystemTree;
struct TreeNode;

// The tree of groups and systems as an item model: one column, the node's text, with its key, images and
// tag in the roles of NodeRoles.h. Follows every change of the tree through its signals; node changes are
// signalled as ChangedRows gathers them, so thousands of systems dropping at once are not signalled one by
// one.
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
    // Groups and systems take label edits; systems can be dragged; the root and groups take drops.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    // A drop on a node, or between the rows of its children, is reported for that node, never applied here.
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    // fromList: list items were dropped, else a tree node.
    void keysDropped(bool fromList, const QStringList& keys, const QString& targetKey);

private:
    void connectTree();
    void nodeChanged(const TreeNode* node);

    SystemTree& m_tree;
    ChangedRows m_changed;
};

} // namespace kestrava
