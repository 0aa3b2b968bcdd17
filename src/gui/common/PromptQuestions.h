#pragma once

#include "core/console/Questions.h"

class QWidget;

namespace kestrava {

class Prompt;

// The operations' notices and questions as message boxes over a window.
class PromptQuestions final : public Questions {
public:
    PromptQuestions(Prompt& prompt, QWidget& owner);

    void setPrompt(Prompt& prompt) { m_prompt = &prompt; }
    void inform(const QString& text) override;
    bool confirm(const QString& text) override;

private:
    Prompt* m_prompt;
    QWidget& m_owner;
};

} // namespace kestrava
