#pragma once

#include <QStyledItemDelegate>
#include <functional>

namespace kestrava {

// Label editing of tree nodes and list items: the key of the edited item and the edited text, trimmed,
// go to a handler that decides whether the name changes; the model is never written by the editor, so a
// refused name leaves the label as it was.
class LabelEditDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using Commit = std::function<void(const QString& key, const QString& text)>;

    LabelEditDelegate(Commit commit, QObject* parent = nullptr);

    // The editor takes the item's text once, when it opens: a report that changes the item's icon or
    // status while the name is being typed must not put the old text back.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    Commit m_commit;
};

} // namespace kestrava
