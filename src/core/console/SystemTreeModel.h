#pragma once

#include "console/ChangedRows.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QTimer>

namespace kestrava {

class SystemTree;
struct TreeNode;

// The tree of groups and systems as an item model: one column, the node's text, with its key, images and
// tag in the roles of NodeRoles.h. Follows every change of the tree through its signals. The first node
// change in a pass of the event loop is signalled at once, later ones of the same pass as ranges per
// parent when control is back in the loop, a slice of the loop's time at a time: a view without uniform rows
// locates each changed row by walking the rows above it, so thousands of systems dropping at once must not be
// signalled one by one.
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
    bool signalChanges(std::optional<std::chrono::milliseconds> budget);
    // Signals every gathered change: the rows are about to move.
    void flushChanges();
    // Signals gathered changes for a slice of the event loop's time, the rest in the next pass.
    void continueChanges();

    SystemTree& m_tree;
    QTimer m_changePass;
    ChangedRows m_changed;
};

} // namespace kestrava
