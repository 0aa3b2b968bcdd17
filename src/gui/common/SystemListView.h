#pragma once

#include <QWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QItemSelectionModel;
class QLineEdit;
class QListView;
class QModelIndex;
class QStackedWidget;
class QTreeView;

namespace kestrava {

// lvwSystems: the list of the chosen node in one of four views. Large icons, small icons and list show the
// Alias column with its icon; details show every column. All four share one model and one selection.
class SystemListView : public QWidget {
    Q_OBJECT
public:
    enum View { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

    explicit SystemListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model);
    QItemSelectionModel* selectionModel() const;
    int view() const { return m_view; }
    void setView(int view);
    // Items can be dragged and dropped on other items, in every view.
    void setDragAndDrop(bool on);
    // The view that is shown now, and whether it holds the focus of its window.
    QAbstractItemView* activeView() const;
    bool ownsFocus() const;
    QTreeView* detailsView() const { return m_details; }
    QListView* iconView() const { return m_icons; }
    // The selected item that the list calls its own: the current row when it is selected, else the first
    // selected row; invalid when nothing is selected.
    QModelIndex selectedItem() const;
    // The find line above the list: rows whose name, computer name or identifier does not contain its
    // text are hidden in every view.
    QLineEdit* findLine() const { return m_find; }
    void applyFilter();

signals:
    void itemDoubleClicked(const QModelIndex& index);

private:
    QLineEdit* m_find = nullptr;
    QStackedWidget* m_stack = nullptr;
    QListView* m_icons = nullptr;
    QTreeView* m_details = nullptr;
    int m_view = Details;
    bool m_dragAndDrop = false;
    // Whether the filter hides any row; without, an empty filter has nothing to show again.
    bool m_anyHidden = false;
};

} // namespace kestrava
