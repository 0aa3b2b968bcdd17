#pragma once

#include "gui/common/Prompt.h"

#include <QList>
#include <QString>

// Answers questions with the answer set in advance and keeps everything it was asked or shown.
class RecordingPrompt final : public kestrava::Prompt {
public:
    enum class Kind { Ask, Inform, Warn, Error };
    struct Entry {
        Kind kind;
        QString text;
        // For questions: the default button offered.
        Answer defaultAnswer = Answer::No;
    };

    Answer answer = Answer::Yes;
    QList<Entry> entries;

    Answer ask(QWidget*, const QString& text, Answer defaultAnswer) override {
        entries.append({Kind::Ask, text, defaultAnswer});
        return answer;
    }
    void inform(QWidget*, const QString& text) override { entries.append({Kind::Inform, text}); }
    void warn(QWidget*, const QString& text) override { entries.append({Kind::Warn, text}); }
    void error(QWidget*, const QString& text) override { entries.append({Kind::Error, text}); }

    QStringList texts(Kind kind) const {
        QStringList found;
        for (const Entry& entry : entries) {
            if (entry.kind == kind)
                found.append(entry.text);
        }
        return found;
    }
};
