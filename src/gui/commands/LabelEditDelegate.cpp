#include "gui/commands/LabelEditDelegate.h"

#include "core/console/NodeRoles.h"

#include <QLineEdit>

namespace kestrava {

LabelEditDelegate::LabelEditDelegate(Commit commit, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_commit(std::move(commit)) {}

void LabelEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    static const char* const filled = "kestravaFilled";
    if (editor->property(filled).toBool())
        return;
    editor->setProperty(filled, true);
    QStyledItemDelegate::setEditorData(editor, index);
}

void LabelEditDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const {
    const auto* line = qobject_cast<QLineEdit*>(editor);
    if (line && m_commit)
        m_commit(index.data(KeyRole).toString(), line->text().trimmed());
}

} // namespace kestrava
