#include "gui/mainwindow/PolicyColumnProxy.h"

#include "core/console/NodeRoles.h"
#include "core/policy/PolicyLines.h"

namespace kestrava {

PolicyColumnProxy::PolicyColumnProxy(PolicyLines& lines, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_lines(lines) {
    connect(&m_lines, &PolicyLines::changed, this, &PolicyColumnProxy::linesChanged);
}

int PolicyColumnProxy::policyColumn() const {
    return sourceModel() ? sourceModel()->columnCount() : 0;
}

int PolicyColumnProxy::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !sourceModel() ? 0 : policyColumn() + 1;
}

QModelIndex PolicyColumnProxy::index(int row, int column, const QModelIndex& parent) const {
    if (column == policyColumn() && !parent.isValid() && row >= 0 && row < rowCount())
        return createIndex(row, column);
    return QIdentityProxyModel::index(row, column, parent);
}

QModelIndex PolicyColumnProxy::sibling(int row, int column, const QModelIndex& at) const {
    return index(row, column, at.parent());
}

QModelIndex PolicyColumnProxy::mapToSource(const QModelIndex& proxyIndex) const {
    if (proxyIndex.isValid() && proxyIndex.column() == policyColumn())
        return {};
    return QIdentityProxyModel::mapToSource(proxyIndex);
}

QVariant PolicyColumnProxy::data(const QModelIndex& at, int role) const {
    if (!at.isValid() || at.column() != policyColumn())
        return QIdentityProxyModel::data(at, role);
    const QModelIndex first = index(at.row(), 0);
    if (role == KeyRole)
        return first.data(KeyRole);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    return m_lines.textOf(first.data(KeyRole).toString());
}

QVariant PolicyColumnProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == policyColumn())
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("Policy")) : QVariant();
    return QIdentityProxyModel::headerData(section, orientation, role);
}

Qt::ItemFlags PolicyColumnProxy::flags(const QModelIndex& at) const {
    if (at.isValid() && at.column() == policyColumn())
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return QIdentityProxyModel::flags(at);
}

void PolicyColumnProxy::linesChanged() {
    if (rowCount() > 0)
        emit dataChanged(index(0, policyColumn()), index(rowCount() - 1, policyColumn()), {Qt::DisplayRole});
}

} // namespace kestrava
