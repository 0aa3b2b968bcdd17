#pragma once

#include <QIdentityProxyModel>

namespace kestrava {

class PolicyLines;

// The list with one more column, "Policy": why each system has internet or not and when that changes.
class PolicyColumnProxy : public QIdentityProxyModel {
    Q_OBJECT
public:
    explicit PolicyColumnProxy(PolicyLines& lines, QObject* parent = nullptr);

    int policyColumn() const;

    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void linesChanged();

    PolicyLines& m_lines;
};

} // namespace kestrava
