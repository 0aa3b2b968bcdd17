#pragma once

#include <QAbstractItemView>
#include <QDrag>
#include <QMimeData>
#include <QPixmap>

namespace kestrava {

// An item view whose drag image follows the pointer below and to its right, so that the row under the
// pointer, where the items land, stays in sight.
template <typename View> class OffsetDragView : public View {
public:
    using View::View;
    static constexpr int kOffset = 16;

protected:
    void startDrag(Qt::DropActions supportedActions) override {
        QModelIndexList dragged;
        for (const QModelIndex& index : this->selectedIndexes()) {
            if (index.flags() & Qt::ItemIsDragEnabled)
                dragged << index;
        }
        if (dragged.isEmpty())
            return;
        QMimeData* data = this->model()->mimeData(dragged);
        if (!data)
            return;
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        QRect shown;
        for (const QModelIndex& index : dragged)
            shown |= this->visualRect(index);
        shown &= this->viewport()->rect();
        if (!shown.isEmpty())
            drag->setPixmap(this->viewport()->grab(shown));
        // A hot spot outside the image puts the image beside the pointer instead of under it.
        drag->setHotSpot(QPoint(-kOffset, -kOffset));
        // Drops are reported and applied by the console, never by the view: nothing is removed here.
        drag->exec(supportedActions, this->defaultDropAction());
    }
};

} // namespace kestrava
