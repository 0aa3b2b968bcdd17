#include "core/console/SystemListModel.h"

#include "core/console/DragKeys.h"
#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemTree.h"

#include <QCollator>
#include <QMimeData>
#include <algorithm>

namespace kestrava {

SystemListModel::SystemListModel(SystemTree& tree, QObject* parent)
    : QAbstractTableModel(parent)
    , m_tree(tree)
    , m_changed([this](const TreeNode*, int first, int last) {
        last = std::min(last, count() - 1);
        if (first <= last)
            emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
    })
    , m_arrived([this](const TreeNode*, int first, int last) { insertArrived(first, last); }) {
    connect(&m_tree, &SystemTree::nodeChanged, this, &SystemListModel::Refresh_List_Item);
    connect(&m_tree, &SystemTree::nodeAdded, this, &SystemListModel::arrive);
    connect(&m_tree, &SystemTree::nodeAboutToBeRemoved, this, &SystemListModel::forgetSubtree);
    connect(&m_tree, &SystemTree::aboutToReset, this, &SystemListModel::clear);
}

QString SystemListModel::connectedText() {
    return QStringLiteral("Connected");
}

QString SystemListModel::notConnectedText() {
    return QStringLiteral("Not Connected");
}

QString SystemListModel::authenticatedText() {
    return QStringLiteral("Connected (authenticated)");
}

void SystemListModel::setRemoteAddressLookup(RemoteAddressLookup lookup) {
    m_lookup = std::move(lookup);
}

std::optional<QString> SystemListModel::addressOf(const TreeNode* node) const {
    return Keys::Is_System_Key(node->key) && m_lookup ? m_lookup(node->key) : std::nullopt;
}

QString SystemListModel::connectionStatusOf(const TreeNode* node) const {
    if (!addressOf(node))
        return notConnectedText();
    return m_authenticated && m_authenticated(node->key) ? authenticatedText() : connectedText();
}

ListRow SystemListModel::rowAt(int at) const {
    const TreeNode* node = m_nodes[static_cast<std::size_t>(at)];
    ListRow row;
    row.node = node;
    row.key = node->key;
    row.text = node->text;
    row.image = node->image;
    row.system = Keys::Get_System_Field_From_Key(node->key);
    row.group = m_groupText;
    row.internetStatus = node->tag;
    row.ipAddress = addressOf(node).value_or(QString());
    row.connectionStatus = connectionStatusOf(node);
    if (m_alone)
        row.tag = node->tag;
    return row;
}

void SystemListModel::setNodes(std::vector<const TreeNode*> nodes) {
    // The reset repaints every row.
    m_changed.clear();
    m_arrived.clear();
    m_arriving.clear();
    beginResetModel();
    m_nodes = std::move(nodes);
    m_rowOfNode.clear();
    m_indexed = false;
    endResetModel();
}

void SystemListModel::Show_Node_In_List(const TreeNode* node) {
    if (!node)
        return;
    std::vector<const TreeNode*> nodes;
    m_alone = Keys::Is_System_Key(node->key);
    m_shown = nullptr;
    if (m_alone) {
        m_groupText = node->parent ? node->parent->text : QString();
        nodes.push_back(node);
    } else if (Keys::Is_Root_Key(node->key) || Keys::Is_Group_Key(node->key)) {
        m_groupText = node->text;
        m_shown = node;
        nodes.reserve(node->children.size());
        for (const auto& child : node->children)
            nodes.push_back(child.get());
    }
    setNodes(std::move(nodes));
    emit nodeShown(node->key);
}

void SystemListModel::clear() {
    m_shown = nullptr;
    setNodes({});
}

void SystemListModel::arrive(const TreeNode* node) {
    if (!m_shown || node->parent != m_shown)
        return;
    m_arriving.push_back(node);
    m_arrived.add(nullptr, count() + static_cast<int>(m_arriving.size()) - 1);
}

void SystemListModel::insertArrived(int first, int last) {
    // Ranges come in row order, each starting where the list ends.
    const int taken = std::min(last - first + 1, static_cast<int>(m_arriving.size()));
    if (first != count() || taken <= 0)
        return;
    beginInsertRows({}, first, first + taken - 1);
    m_nodes.insert(m_nodes.end(), m_arriving.begin(), m_arriving.begin() + taken);
    m_arriving.erase(m_arriving.begin(), m_arriving.begin() + taken);
    m_indexed = false;
    endInsertRows();
}

int SystemListModel::rowOfNode(const TreeNode* node) const {
    if (!m_indexed) {
        m_rowOfNode.clear();
        m_rowOfNode.reserve(static_cast<qsizetype>(m_nodes.size()));
        for (std::size_t i = 0; i < m_nodes.size(); ++i)
            m_rowOfNode.insert(m_nodes[i], static_cast<int>(i));
        m_indexed = true;
    }
    return m_rowOfNode.value(node, -1);
}

int SystemListModel::Get_List_Index_From_Key(const QString& key) const {
    const TreeNode* node = m_tree.Get_Node_Index_From_Key(key);
    return node ? rowOfNode(node) + 1 : 0;
}

void SystemListModel::Refresh_List_Item(const TreeNode* node) {
    if (m_nodes.empty())
        return;
    const int at = rowOfNode(node);
    if (at < 0)
        return;
    m_changed.add(nullptr, at);
}

void SystemListModel::refreshKey(const QString& key) {
    if (const TreeNode* node = m_tree.Get_Node_Index_From_Key(key))
        Refresh_List_Item(node);
}

void SystemListModel::removeRowOfKey(const QString& key) {
    m_arrived.flush();
    const int at = Get_List_Index_From_Key(key) - 1;
    if (at < 0)
        return;
    m_changed.flush();
    beginRemoveRows({}, at, at);
    m_nodes.erase(m_nodes.begin() + at);
    m_indexed = false;
    endRemoveRows();
}

void SystemListModel::forgetSubtree(const TreeNode* node) {
    if (node == m_shown)
        m_shown = nullptr;
    // An arrival not yet signalled must be a row before it can be removed as one.
    m_arrived.flush();
    for (const auto& child : node->children)
        forgetSubtree(child.get());
    if (rowOfNode(node) >= 0)
        removeRowOfKey(node->key);
}

int SystemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int SystemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString SystemListModel::columnText(int at, int column) const {
    const TreeNode* node = m_nodes[static_cast<std::size_t>(at)];
    switch (column) {
    case Alias:
        return node->text;
    case System:
        return Keys::Get_System_Field_From_Key(node->key);
    case Group:
        return m_groupText;
    case IpAddress:
        return addressOf(node).value_or(QString());
    case ConnectionStatus:
        return connectionStatusOf(node);
    case InternetStatus:
        return node->tag;
    default:
        return {};
    }
}

QVariant SystemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    const TreeNode* node = m_nodes[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return columnText(index.row(), index.column());
    case Qt::EditRole:
        return index.column() == Alias ? QVariant(node->text) : QVariant();
    case KeyRole:
        return node->key;
    case ImageRole:
    case SelectedImageRole:
        return index.column() == Alias ? QVariant(static_cast<int>(node->image)) : QVariant();
    case TagRole:
        return m_alone ? node->tag : QString();
    default:
        return {};
    }
}

QVariant SystemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const headers[] = {
        "Alias", "System", "Group", "IP Address", "Connection Status", "Internet Status"};
    if (section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(headers[section]);
}

Qt::ItemFlags SystemListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= count())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == Alias)
        flags |= Qt::ItemIsEditable;
    const QString& key = m_nodes[static_cast<std::size_t>(index.row())]->key;
    if (Keys::Is_System_Key(key))
        flags |= Qt::ItemIsDragEnabled;
    else if (Keys::Is_Group_Key(key))
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QStringList SystemListModel::mimeTypes() const {
    return {DragKeys::listFormat()};
}

QMimeData* SystemListModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && index.row() < count())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList keys;
    for (int row : rows)
        keys << m_nodes[static_cast<std::size_t>(row)]->key;
    return DragKeys::pack(DragKeys::listFormat(), keys);
}

Qt::DropActions SystemListModel::supportedDropActions() const {
    return Qt::MoveAction;
}

Qt::DropActions SystemListModel::supportedDragActions() const {
    return Qt::MoveAction;
}

bool SystemListModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                   const QModelIndex& parent) {
    if (row != -1 || !parent.isValid() || parent.row() >= count())
        return false;
    const QStringList keys = DragKeys::unpack(data, DragKeys::listFormat());
    if (!keys.isEmpty())
        emit keysDropped(keys, m_nodes[static_cast<std::size_t>(parent.row())]->key);
    return false;
}

void SystemListModel::sort(int column, Qt::SortOrder) {
    if (column < 0 || column >= ColumnCount)
        return;
    m_arrived.flush();
    m_changed.flush();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<const TreeNode*> nodesBefore;
    for (const QModelIndex& at : before)
        nodesBefore.push_back(m_nodes[static_cast<std::size_t>(at.row())]);
    // Each text once: a cell's text may ask the connection table.
    std::vector<std::pair<QString, const TreeNode*>> keyed;
    keyed.reserve(m_nodes.size());
    for (std::size_t i = 0; i < m_nodes.size(); ++i)
        keyed.emplace_back(columnText(static_cast<int>(i), column), m_nodes[i]);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](const auto& a, const auto& b) { return collator.compare(a.first, b.first) < 0; });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        m_nodes[i] = keyed[i].second;
    m_indexed = false;
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i)
        after.push_back(index(rowOfNode(nodesBefore[static_cast<std::size_t>(i)]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace kestrava
