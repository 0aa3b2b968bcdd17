#include "protocol/InboundSplitter.h"

#include "protocol/Fields.h"
#include "protocol/Messages.h"
#include "protocol/StatusReport.h"
#include "protocol/WireCodec.h"

namespace kestrava {

namespace {

constexpr int kIdentificationSeparators = 4;
constexpr qsizetype kStatusLength = 3; // "h" and its code

bool isIdentificationLetter(QChar c) {
    return c == QLatin1Char('d') || c == QLatin1Char('D');
}

bool isRequestLetter(QChar c) {
    return c == QLatin1Char('s') || c == QLatin1Char('o') || c == QLatin1Char('r') || c == QLatin1Char('b');
}

// The length of an identification up to and including its fourth separator; -1 while it lacks one.
qsizetype identificationLength(QStringView text) {
    int found = 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == kFieldSeparator && ++found == kIdentificationSeparators)
            return i + 1;
    }
    return -1;
}

} // namespace

InboundSplitter::InboundSplitter(std::chrono::milliseconds identificationWait, QObject* parent)
    : QObject(parent) {
    m_wait.setSingleShot(true);
    m_wait.setInterval(identificationWait);
    connect(&m_wait, &QTimer::timeout, this, &InboundSplitter::onWaitOver);
}

bool InboundSplitter::startsLikeMessage(QStringView text) {
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    if (isIdentificationLetter(first))
        return text.size() > 1 && text[1] == kFieldSeparator;
    if (first == QLatin1Char('h'))
        return text.size() >= kStatusLength && decodeStatusReport(text);
    return isRequestLetter(first);
}

QStringList InboundSplitter::feed(const QByteArray& bytes) {
    if (bytes.size() > kMaxArrivalBytes) {
        discard();
        return {};
    }
    QByteArray whole = m_oddByte + bytes;
    m_oddByte.clear();
    if (whole.size() % 2 != 0) {
        m_oddByte = whole.right(1);
        whole.chop(1);
    }
    QString text = WireCodec::decode(whole);
    if (!m_pending.isEmpty()) {
        text.prepend(m_pending);
        m_pending.clear();
    }
    return split(text);
}

QStringList InboundSplitter::split(const QString& text) {
    QStringList messages;
    qsizetype pos = 0;
    while (pos < text.size() && messages.size() < kMaxMessagesPerArrival) {
        const QStringView rest = QStringView(text).mid(pos);
        if (pos > 0 && !startsLikeMessage(rest))
            break;
        const QChar first = rest.front();
        qsizetype length = rest.size();
        if (isIdentificationLetter(first)) {
            length = identificationLength(rest);
            if (length < 0) {
                if (rest.size() * 2 <= kMaxArrivalBytes) {
                    m_pending = rest.toString();
                    if (!m_wait.isActive())
                        m_wait.start();
                    return messages;
                }
                break;
            }
        } else if (first == QLatin1Char('h')) {
            length = std::min(kStatusLength, rest.size());
        } else if (isRequestLetter(first)) {
            length = 1;
        }
        messages << rest.left(length).toString();
        pos += length;
    }
    m_wait.stop();
    return messages;
}

void InboundSplitter::discard() {
    m_oddByte.clear();
    m_pending.clear();
    m_wait.stop();
}

void InboundSplitter::onWaitOver() {
    const QString message = m_pending;
    m_pending.clear();
    if (!message.isEmpty())
        emit identificationTimedOut(message);
}

} // namespace kestrava
