#include "gui/common/PromptQuestions.h"

#include "gui/common/Prompt.h"

namespace kestrava {

PromptQuestions::PromptQuestions(Prompt& prompt, QWidget& owner)
    : m_prompt(&prompt)
    , m_owner(owner) {}

void PromptQuestions::inform(const QString& text) {
    m_prompt->inform(&m_owner, text);
}

bool PromptQuestions::confirm(const QString& text) {
    return m_prompt->ask(&m_owner, text, Prompt::Answer::No) == Prompt::Answer::Yes;
}

} // namespace kestrava
