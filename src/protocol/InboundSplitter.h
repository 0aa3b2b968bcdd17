#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>

namespace kestrava {

// Cuts what one connection receives into client messages. Client services send one message per
// write, but TCP may join or cut them: an odd trailing byte waits for the next arrival; an
// identification ends after its fourth separator, "h" after its two code characters, "s", "o", "r"
// and "b" after their letter. What follows a complete message is the next message only when it
// starts like one; anything else in that arrival is dropped. An identification without its fourth
// separator waits for the rest of its bytes, then is handled as it stands.
class InboundSplitter : public QObject {
    Q_OBJECT
public:
    // Larger arrivals are dropped without being decoded; no client message comes near this.
    static constexpr qsizetype kMaxArrivalBytes = 64 * 1024;
    // Client services send one message per write; a flood of joined requests is cut off here.
    static constexpr qsizetype kMaxMessagesPerArrival = 64;
    static constexpr std::chrono::milliseconds kIdentificationWait{1000};

    explicit InboundSplitter(std::chrono::milliseconds identificationWait = kIdentificationWait,
                             QObject* parent = nullptr);

    // The complete messages of one arrival, in order.
    QStringList feed(const QByteArray& bytes);
    // Forgets every byte held back, e.g. after an arrival was dropped.
    void discard();
    bool isHoldingBack() const { return !m_oddByte.isEmpty() || !m_pending.isEmpty(); }

    static bool startsLikeMessage(QStringView text);

signals:
    // An identification that waited in vain for the rest of its bytes.
    void identificationTimedOut(const QString& message);

private:
    QStringList split(const QString& text);
    void onWaitOver();

    QByteArray m_oddByte;
    QString m_pending;
    QTimer m_wait;
};

} // namespace kestrava
