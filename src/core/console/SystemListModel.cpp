#include "console/SystemListModel.h"

#include "console/DragKeys.h"
#include "console/Keys.h"
#include "console/NodeRoles.h"
#include "console/SystemTree.h"

#include <QCollator>
#include <QMimeData>
#include <algorithm>

namespace kestrava {

SystemListModel::SystemListModel(SystemTree& tree, QObject* parent)
    : QAbstractTableModel(parent)
    , m_tree(tree) {
    connect(&m_tree, &SystemTree::nodeChanged, this, &SystemListModel::Refresh_List_Item);
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

void SystemListModel::fillConnection(ListRow& row) const {
    const std::optional<QString> address =
        Keys::Is_System_Key(row.key) && m_lookup ? m_lookup(row.key) : std::nullopt;
    row.ipAddress = address.value_or(QString());
    if (!address)
        row.connectionStatus = notConnectedText();
    else
        row.connectionStatus =
            m_authenticated && m_authenticated(row.key) ? authenticatedText() : connectedText();
}

ListRow SystemListModel::makeRow(const TreeNode* node, const QString& groupText) const {
    ListRow row;
    row.node = node;
    row.key = node->key;
    row.text = node->text;
    row.image = node->image;
    row.system = Keys::Get_System_Field_From_Key(node->key);
    row.group = groupText;
    row.internetStatus = node->tag;
    fillConnection(row);
    return row;
}

void SystemListModel::Show_Node_In_List(const TreeNode* node) {
    if (!node)
        return;
    beginResetModel();
    m_rows.clear();
    if (Keys::Is_System_Key(node->key)) {
        ListRow row = makeRow(node, node->parent ? node->parent->text : QString());
        row.tag = node->tag;
        m_rows.push_back(std::move(row));
    } else if (Keys::Is_Root_Key(node->key) || Keys::Is_Group_Key(node->key)) {
        m_rows.reserve(node->children.size());
        for (const auto& child : node->children)
            m_rows.push_back(makeRow(child.get(), node->text));
    }
    reindex();
    endResetModel();
    emit nodeShown(node->key);
}

void SystemListModel::clear() {
    beginResetModel();
    m_rows.clear();
    reindex();
    endResetModel();
}

int SystemListModel::Get_List_Index_From_Key(const QString& key) const {
    const auto it = m_rowOfKey.constFind(key.toUpper());
    return it == m_rowOfKey.constEnd() ? 0 : *it + 1;
}

void SystemListModel::Refresh_List_Item(const TreeNode* node) {
    const auto it = m_rowOfNode.constFind(node);
    if (it == m_rowOfNode.constEnd())
        return;
    const int at = *it;
    ListRow& row = m_rows[static_cast<std::size_t>(at)];
    if (row.key != node->key) {
        m_rowOfKey.remove(row.key.toUpper());
        row.key = node->key;
        m_rowOfKey.insert(row.key.toUpper(), at);
    }
    row.text = node->text;
    row.image = node->image;
    row.internetStatus = node->tag;
    fillConnection(row);
    emit dataChanged(index(at, 0), index(at, ColumnCount - 1));
}

void SystemListModel::refreshKey(const QString& key) {
    if (const TreeNode* node = m_tree.Get_Node_Index_From_Key(key))
        Refresh_List_Item(node);
}

void SystemListModel::removeRowOfKey(const QString& key) {
    const int at = Get_List_Index_From_Key(key) - 1;
    if (at < 0)
        return;
    beginRemoveRows({}, at, at);
    m_rows.erase(m_rows.begin() + at);
    reindex();
    endRemoveRows();
}

void SystemListModel::forgetSubtree(const TreeNode* node) {
    for (const auto& child : node->children)
        forgetSubtree(child.get());
    if (m_rowOfNode.contains(node))
        removeRowOfKey(m_rows[static_cast<std::size_t>(m_rowOfNode.value(node))].key);
}

void SystemListModel::reindex() {
    m_rowOfKey.clear();
    m_rowOfNode.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        m_rowOfKey.insert(m_rows[i].key.toUpper(), static_cast<int>(i));
        m_rowOfNode.insert(m_rows[i].node, static_cast<int>(i));
    }
}

int SystemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int SystemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString SystemListModel::columnText(const ListRow& row, int column) {
    switch (column) {
    case Alias:
        return row.text;
    case System:
        return row.system;
    case Group:
        return row.group;
    case IpAddress:
        return row.ipAddress;
    case ConnectionStatus:
        return row.connectionStatus;
    case InternetStatus:
        return row.internetStatus;
    default:
        return {};
    }
}

QVariant SystemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    const ListRow& row = rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return columnText(row, index.column());
    case Qt::EditRole:
        return index.column() == Alias ? QVariant(row.text) : QVariant();
    case KeyRole:
        return row.key;
    case ImageRole:
    case SelectedImageRole:
        return index.column() == Alias ? QVariant(static_cast<int>(row.image)) : QVariant();
    case TagRole:
        return row.tag;
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
    const QString& key = rowAt(index.row()).key;
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
        keys << rowAt(row).key;
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
        emit keysDropped(keys, rowAt(parent.row()).key);
    return false;
}

void SystemListModel::sort(int column, Qt::SortOrder) {
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<const TreeNode*> nodesBefore;
    for (const QModelIndex& at : before)
        nodesBefore.push_back(m_rows[static_cast<std::size_t>(at.row())].node);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const ListRow& a, const ListRow& b) {
        return collator.compare(columnText(a, column), columnText(b, column)) < 0;
    });
    reindex();
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = m_rowOfNode.value(nodesBefore[static_cast<std::size_t>(i)]);
        after.push_back(index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace kestrava
