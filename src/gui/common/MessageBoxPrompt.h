#pragma once

#include "gui/common/Prompt.h"

namespace kestrava {

// Asks with message boxes captioned with the product title.
class MessageBoxPrompt final : public Prompt {
public:
    Answer ask(QWidget* parent, const QString& text, Answer defaultAnswer) override;
    void inform(QWidget* parent, const QString& text) override;
    void warn(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
};

} // namespace kestrava
