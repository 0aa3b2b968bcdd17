#pragma once

#include "core/console/Questions.h"

#include <QStringList>

// Answers every question with the answer set in advance and keeps every text it was shown.
class AnsweringQuestions final : public kestrava::Questions {
public:
    explicit AnsweringQuestions(bool yes = false)
        : answer(yes) {}
    void inform(const QString& text) override { shown << text; }
    bool confirm(const QString& text) override {
        shown << text;
        return answer;
    }

    QStringList shown;
    bool answer;
};
