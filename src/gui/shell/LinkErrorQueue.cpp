#include "gui/shell/LinkErrorQueue.h"

#include "gui/common/Prompt.h"

#include <QTimer>
#include <cstdio>

namespace kestrava {

LinkErrorQueue::LinkErrorQueue(Prompt& prompt, QObject* parent)
    : QObject(parent)
    , m_prompt(prompt) {}

QString LinkErrorQueue::moreText(int count) {
    return QStringLiteral("\n\n%1 more link error(s) will follow.").arg(count);
}

void LinkErrorQueue::post(const QString& message) {
    std::fprintf(stderr, "kestrava: link error: %s\n", qPrintable(message));
    m_waiting << message;
    // Shown once the socket handler that reported it has returned.
    if (!m_showing && m_waiting.size() == 1)
        QTimer::singleShot(0, this, &LinkErrorQueue::showNext);
}

void LinkErrorQueue::showNext() {
    if (m_showing || m_waiting.isEmpty())
        return;
    m_showing = true;
    const QString message = m_waiting.takeFirst();
    m_prompt.error(nullptr, m_waiting.isEmpty() ? message : message + moreText(waiting()));
    m_showing = false;
    if (!m_waiting.isEmpty())
        QTimer::singleShot(0, this, &LinkErrorQueue::showNext);
}

} // namespace kestrava
