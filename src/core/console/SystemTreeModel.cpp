#include "core/console/SystemTreeModel.h"

#include "core/console/DragKeys.h"
#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemTree.h"

#include <QMimeData>
#include <utility>

namespace kestrava {

SystemTreeModel::SystemTreeModel(SystemTree& tree, QObject* parent)
    : QAbstractItemModel(parent)
    , m_tree(tree)
    , m_changed([this](const TreeNode* parentNode, int first, int last) {
        const QModelIndex parent = indexOf(parentNode);
        emit dataChanged(index(first, 0, parent), index(last, 0, parent));
    }) {
    connectTree();
}

void SystemTreeModel::connectTree() {
    // Gathered changes are signalled before the rows they name can move.
    connect(&m_tree, &SystemTree::aboutToReset, this, [this] {
        m_changed.clear();
        beginResetModel();
    });
    connect(&m_tree, &SystemTree::resetDone, this, [this] { endResetModel(); });
    connect(&m_tree, &SystemTree::nodeAboutToBeAdded, this, [this](TreeNode* parent, int row) {
        m_changed.flush();
        beginInsertRows(indexOf(parent), row, row);
    });
    connect(&m_tree, &SystemTree::nodeAdded, this, [this] { endInsertRows(); });
    connect(&m_tree, &SystemTree::nodeAboutToBeRemoved, this, [this](TreeNode* node) {
        m_changed.flush();
        const int row = node->row();
        beginRemoveRows(indexOf(node->parent), row, row);
    });
    connect(&m_tree, &SystemTree::nodeRemoved, this, [this] { endRemoveRows(); });
    connect(&m_tree, &SystemTree::nodeAboutToBeMoved, this, [this](TreeNode* node, TreeNode* newParent) {
        m_changed.flush();
        const int row = node->row();
        beginMoveRows(indexOf(node->parent), row, row, indexOf(newParent),
                      static_cast<int>(newParent->children.size()));
    });
    connect(&m_tree, &SystemTree::nodeMoved, this, [this] { endMoveRows(); });
    connect(&m_tree, &SystemTree::nodeChanged, this, &SystemTreeModel::nodeChanged);
}

void SystemTreeModel::nodeChanged(const TreeNode* node) {
    m_changed.add(node->parent, node->row());
}

QModelIndex SystemTreeModel::indexOf(const TreeNode* node) const {
    if (!node)
        return {};
    return createIndex(node->row(), 0, const_cast<TreeNode*>(node));
}

TreeNode* SystemTreeModel::nodeAt(const QModelIndex& index) {
    return index.isValid() ? static_cast<TreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex SystemTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, m_tree.root()) : QModelIndex();
    const TreeNode* up = nodeAt(parent);
    if (row >= static_cast<int>(up->children.size()))
        return {};
    return createIndex(row, 0, up->children[static_cast<std::size_t>(row)].get());
}

QModelIndex SystemTreeModel::parent(const QModelIndex& child) const {
    const TreeNode* node = nodeAt(child);
    return node ? indexOf(node->parent) : QModelIndex();
}

int SystemTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    return static_cast<int>(nodeAt(parent)->children.size());
}

int SystemTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant SystemTreeModel::data(const QModelIndex& index, int role) const {
    const TreeNode* node = nodeAt(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return node->text;
    case KeyRole:
        return node->key;
    case ImageRole:
        return static_cast<int>(node->image);
    case SelectedImageRole:
        return static_cast<int>(node->selectedImage);
    case TagRole:
        return node->tag;
    default:
        return {};
    }
}

Qt::ItemFlags SystemTreeModel::flags(const QModelIndex& index) const {
    const TreeNode* node = nodeAt(index);
    if (!node)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (Keys::Is_Root_Key(node->key))
        return flags | Qt::ItemIsDropEnabled;
    if (Keys::Is_Group_Key(node->key))
        return flags | Qt::ItemIsEditable | Qt::ItemIsDropEnabled;
    if (Keys::Is_System_Key(node->key))
        return flags | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    return flags;
}

QStringList SystemTreeModel::mimeTypes() const {
    return {DragKeys::treeFormat(), DragKeys::listFormat()};
}

QMimeData* SystemTreeModel::mimeData(const QModelIndexList& indexes) const {
    QStringList keys;
    for (const QModelIndex& index : indexes) {
        if (const TreeNode* node = nodeAt(index))
            keys << node->key;
    }
    return DragKeys::pack(DragKeys::treeFormat(), keys);
}

Qt::DropActions SystemTreeModel::supportedDropActions() const {
    return Qt::MoveAction;
}

Qt::DropActions SystemTreeModel::supportedDragActions() const {
    return Qt::MoveAction;
}

bool SystemTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                   const QModelIndex& parent) {
    // On a node's row (row -1) that node; between the rows of a node's children, that node.
    const TreeNode* target = nodeAt(parent);
    if (!target)
        return false;
    const bool fromList = data->hasFormat(DragKeys::listFormat());
    const QStringList keys =
        DragKeys::unpack(data, fromList ? DragKeys::listFormat() : DragKeys::treeFormat());
    if (!keys.isEmpty())
        emit keysDropped(fromList, keys, target->key);
    return false;
}

} // namespace kestrava
