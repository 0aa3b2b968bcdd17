#include "gui/dialogs/AmPmTimeEdit.h"

#include <QKeyEvent>

namespace kestrava {

AmPmTimeEdit::AmPmTimeEdit(QWidget* parent)
    : QTimeEdit(parent) {
    setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    setDisplayFormat(QStringLiteral("hh:mm AP"));
}

void AmPmTimeEdit::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_A || event->key() == Qt::Key_P)) {
        const bool afternoon = event->key() == Qt::Key_P;
        const QTime now = time();
        if ((now.hour() >= 12) != afternoon)
            setTime(now.addSecs(afternoon ? 12 * 3600 : -12 * 3600));
        event->accept();
        return;
    }
    QTimeEdit::keyPressEvent(event);
}

} // namespace kestrava
