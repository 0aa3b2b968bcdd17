#pragma once

#include <QString>

class QWidget;

namespace kestrava {

// The questions and notices of the console. Windows ask through it so that tests can answer.
class Prompt {
public:
    enum class Answer { Yes, No };

    virtual ~Prompt() = default;
    virtual Answer ask(QWidget* parent, const QString& text, Answer defaultAnswer) = 0;
    virtual void inform(QWidget* parent, const QString& text) = 0;
    virtual void warn(QWidget* parent, const QString& text) = 0;
    virtual void error(QWidget* parent, const QString& text) = 0;
};

} // namespace kestrava
