#include "gui/common/MessageBoxPrompt.h"

#include "core/startup/ProductTitle.h"

#include <QMessageBox>

namespace kestrava {

Prompt::Answer MessageBoxPrompt::ask(QWidget* parent, const QString& text, Answer defaultAnswer) {
    const auto standardDefault = defaultAnswer == Answer::Yes ? QMessageBox::Yes : QMessageBox::No;
    const auto answer = QMessageBox::question(parent, productTitle(), text,
                                              QMessageBox::Yes | QMessageBox::No, standardDefault);
    return answer == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void MessageBoxPrompt::inform(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, productTitle(), text);
}

void MessageBoxPrompt::warn(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, productTitle(), text);
}

void MessageBoxPrompt::error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, productTitle(), text);
}

} // namespace kestrava
