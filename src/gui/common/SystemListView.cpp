#include "gui/common/SystemListView.h"

#include "core/console/NodeRoles.h"
#include "gui/common/OffsetDragView.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace kestrava {

SystemListView::SystemListView(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("lvwSystems"));
    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("txtFind"));
    m_find->setPlaceholderText(QStringLiteral("Find a system by name or identifier (Ctrl+F)"));
    m_find->setClearButtonEnabled(true);
    connect(m_find, &QLineEdit::textChanged, this, &SystemListView::applyFilter);
    m_stack = new QStackedWidget(this);
    m_icons = new OffsetDragView<QListView>(m_stack);
    m_icons->setObjectName(QStringLiteral("lvwSystemsIcons"));
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setWrapping(true);
    // Names up to 30 characters stay readable: long ones wrap within the cell, the tooltip holds them whole.
    m_icons->setWordWrap(true);
    m_icons->setTextElideMode(Qt::ElideMiddle);
    // Icons stay in their places; a drop on an item is a move to another group.
    m_icons->setMovement(QListView::Static);
    m_details = new OffsetDragView<QTreeView>(m_stack);
    m_details->setObjectName(QStringLiteral("lvwSystemsDetails"));
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setAllColumnsShowFocus(true);
    // Names that differ only at their end stay apart when a column is narrow.
    m_details->setTextElideMode(Qt::ElideMiddle);
    m_details->header()->setSectionsClickable(true);
    m_details->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_details->header()->setStretchLastSection(true);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_icons), static_cast<QAbstractItemView*>(m_details)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        connect(view, &QAbstractItemView::doubleClicked, this, &SystemListView::itemDoubleClicked);
    }
    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_details);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_find);
    layout->addWidget(m_stack);
    setView(Details);
}

void SystemListView::setModel(QAbstractItemModel* model) {
    m_details->setModel(model);
    m_icons->setModel(model);
    m_icons->setSelectionModel(m_details->selectionModel());
    // A reset shows every row again in both views.
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        m_anyHidden = false;
        applyFilter();
    });
    connect(model, &QAbstractItemModel::layoutChanged, this, &SystemListView::applyFilter);
    connect(model, &QAbstractItemModel::rowsInserted, this, &SystemListView::applyFilter);
}

void SystemListView::applyFilter() {
    const QAbstractItemModel* model = m_details->model();
    if (!model)
        return;
    const QString text = m_find->text().trimmed();
    // Only the rows on screen are asked for their cells when nothing is filtered.
    if (text.isEmpty() && !m_anyHidden)
        return;
    m_anyHidden = false;
    for (int row = 0; row < model->rowCount(); ++row) {
        bool shown = text.isEmpty();
        for (int column = 0; !shown && column < 2; ++column)
            shown = model->index(row, column).data().toString().contains(text, Qt::CaseInsensitive);
        // The key holds the identifier.
        if (!shown)
            shown = model->index(row, 0).data(KeyRole).toString().contains(text, Qt::CaseInsensitive);
        m_anyHidden = m_anyHidden || !shown;
        m_details->setRowHidden(row, QModelIndex(), !shown);
        m_icons->setRowHidden(row, !shown);
    }
}

QItemSelectionModel* SystemListView::selectionModel() const {
    return m_details->selectionModel();
}

void SystemListView::setView(int view) {
    if (view < LargeIcons || view > Details)
        return;
    const bool hadFocus = ownsFocus();
    m_view = view;
    if (view == Details) {
        m_stack->setCurrentWidget(m_details);
    } else {
        m_icons->setViewMode(view == LargeIcons ? QListView::IconMode : QListView::ListMode);
        m_icons->setFlow(view == List ? QListView::TopToBottom : QListView::LeftToRight);
        m_icons->setIconSize(view == LargeIcons ? QSize(32, 32) : QSize(16, 16));
        m_icons->setGridSize(view == LargeIcons ? QSize(128, 80) : QSize());
        m_icons->setSpacing(view == LargeIcons ? 0 : 2);
        // Changing the view mode resets the drag settings of the icon view.
        setDragAndDrop(m_dragAndDrop);
        m_stack->setCurrentWidget(m_icons);
    }
    setFocusProxy(activeView());
    if (hadFocus)
        activeView()->setFocus();
}

void SystemListView::setDragAndDrop(bool on) {
    m_dragAndDrop = on;
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_icons), static_cast<QAbstractItemView*>(m_details)}) {
        view->setDragEnabled(on);
        view->setAcceptDrops(on);
        view->viewport()->setAcceptDrops(on);
        view->setDropIndicatorShown(on);
        view->setDragDropMode(on ? QAbstractItemView::DragDrop : QAbstractItemView::NoDragDrop);
        view->setDefaultDropAction(Qt::MoveAction);
        view->setDragDropOverwriteMode(true);
    }
}

QAbstractItemView* SystemListView::activeView() const {
    if (m_view == Details)
        return m_details;
    return m_icons;
}

bool SystemListView::ownsFocus() const {
    const QWidget* focused = window()->focusWidget();
    if (!focused)
        return false;
    // A label editor sits on a view's viewport and keeps the list's commands available.
    const QWidget* owner = focused->parentWidget();
    return focused == m_icons || focused == m_details || focused == this || owner == m_icons->viewport() ||
           owner == m_details->viewport();
}

QModelIndex SystemListView::selectedItem() const {
    const QItemSelectionModel* selection = selectionModel();
    if (!selection)
        return {};
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), current.parent()))
        return current.siblingAtColumn(0);
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.front();
}

} // namespace kestrava
