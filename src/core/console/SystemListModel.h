#pragma once

#include "core/console/ChangedRows.h"
#include "core/console/ListRow.h"
#include "core/console/RemoteAddressLookup.h"

#include <QAbstractTableModel>
#include <QHash>
#include <vector>

namespace kestrava {

class SystemTree;

// The list of the node last chosen: its children, or a system alone, in six columns. Rows are filled by
// Show_Node_In_List and then follow the state of the nodes they show (connection, status, text); a node
// added under the node shown is appended at once (a list that waited for the next filling showed a
// classroom's group empty while its computers arrived). A row holds only its node: its cells are read
// from the node when the view asks, so filling a list of thousands costs one pointer each. The first
// change or arrival in a pass of the event loop is signalled at once, later ones in the same pass as one
// range when control is back in the loop: a mass drop or a mass arrival must not signal each row alone.
class SystemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Alias, System, Group, IpAddress, ConnectionStatus, InternetStatus, ColumnCount };

    explicit SystemListModel(SystemTree& tree, QObject* parent = nullptr);

    static QString connectedText();     // "Connected"
    static QString notConnectedText();  // "Not Connected"
    static QString authenticatedText(); // "Connected (authenticated)"

    // Where the IP address and connection state of a system come from; none means never connected.
    void setRemoteAddressLookup(RemoteAddressLookup lookup);
    // Whether a connected system came over the authenticated port; none means never.
    void setAuthenticatedLookup(std::function<bool(const QString& systemKey)> lookup) {
        m_authenticated = std::move(lookup);
    }

    // Clears the list and fills it for node; does nothing when node is null.
    void Show_Node_In_List(const TreeNode* node);
    void clear();
    // 1-based index of the row whose key equals key ignoring case; 0 when there is none.
    int Get_List_Index_From_Key(const QString& key) const;
    ListRow rowAt(int row) const;
    int count() const { return static_cast<int>(m_nodes.size()); }

    // Recomputes a node's row from the node and the connection lookup (text, image, IP address,
    // connection and internet status); nothing when the node is not listed.
    void Refresh_List_Item(const TreeNode* node);
    // The same for the node of a key, as the connection manager names a system.
    void refreshKey(const QString& key);
    void removeRowOfKey(const QString& key);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // The Alias column takes label edits; systems can be dragged; groups take drops.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    // The keys of the rows, in list order.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    // A drop of list items on a row is reported, never applied here.
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    // Sorts the rows once, ascending by the column's text whatever order is asked for; rows filled later
    // are appended unsorted.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    void keysDropped(const QStringList& keys, const QString& targetKey);
    // The list was filled for the node of key.
    void nodeShown(const QString& key);

private:
    void forgetSubtree(const TreeNode* node);
    void arrive(const TreeNode* node);
    // Appends the arrivals that the rows first to last will hold.
    void insertArrived(int first, int last);
    // -1 when the node is not listed. The index is built on first use after a change of the rows.
    int rowOfNode(const TreeNode* node) const;
    void setNodes(std::vector<const TreeNode*> nodes);
    std::optional<QString> addressOf(const TreeNode* node) const;
    QString connectionStatusOf(const TreeNode* node) const;
    QString columnText(int row, int column) const;

    SystemTree& m_tree;
    RemoteAddressLookup m_lookup;
    std::function<bool(const QString&)> m_authenticated;
    std::vector<const TreeNode*> m_nodes;
    // The Group column of every row, as it was when the list was filled.
    QString m_groupText;
    // A system shown alone: its row also carries its node's tag.
    bool m_alone = false;
    mutable QHash<const TreeNode*, int> m_rowOfNode;
    mutable bool m_indexed = false;
    // The group or root whose children are listed; null for a system alone or nothing.
    const TreeNode* m_shown = nullptr;
    // Nodes added under m_shown and not yet signalled as rows, in the order they arrived.
    std::vector<const TreeNode*> m_arriving;
    ChangedRows m_changed;
    ChangedRows m_arrived;
};

} // namespace kestrava
