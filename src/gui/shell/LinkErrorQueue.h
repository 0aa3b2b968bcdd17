#pragma once

#include <QObject>
#include <QStringList>

namespace kestrava {

class Prompt;

// Errors of the link with client services: each is written to standard error at once and shown in one
// error box at a time, in order, the box saying how many more are waiting. None is dropped.
class LinkErrorQueue : public QObject {
    Q_OBJECT
public:
    explicit LinkErrorQueue(Prompt& prompt, QObject* parent = nullptr);

    void post(const QString& message);
    int waiting() const { return static_cast<int>(m_waiting.size()); }
    static QString moreText(int count);

private:
    void showNext();

    Prompt& m_prompt;
    QStringList m_waiting;
    bool m_showing = false;
};

} // namespace kestrava
