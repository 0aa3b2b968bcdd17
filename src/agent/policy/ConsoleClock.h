#pragma once

#include <QDateTime>

namespace kestrava::agent {

// This computer's clocks read at one instant.
struct ClockReading {
    qint64 monotonicMs = 0; // from any fixed origin, never going back, counting suspend too
    QDateTime local;        // the wall clock as a naive date-time, as the console's are kept

    bool operator==(const ClockReading&) const = default;
};

// The console's clock as the agent keeps it: anchored at the last "S" time stamp and carried on by the
// monotonic count, so changing this computer's clock changes nothing. A value: every reading is passed in.
class ConsoleClock {
public:
    enum class Source { LocalClock, SavedOffset, Console };

    // The "S" time stamp runs this far ahead of the console's clock.
    static constexpr qint64 kStampLeadMs = 2000;

    // Takes the time stamp of an "S" received at `at`; the stamp names a moment (not a time alone).
    void receiveStamp(const QDateTime& stamp, const ClockReading& at);
    // After a restart without console: this computer's clock plus the offset last known.
    void startFromOffset(qint64 offsetMs, const ClockReading& at);

    // The console's time at `at`; this computer's clock while nothing else is known.
    QDateTime now(const ClockReading& at) const;
    // The console's clock minus this computer's wall clock, as of the last anchoring.
    qint64 offsetMs() const { return m_offsetMs; }
    Source source() const { return m_source; }

    bool operator==(const ConsoleClock&) const = default;

private:
    void anchor(const QDateTime& consoleTime, const ClockReading& at);

    Source m_source = Source::LocalClock;
    QDateTime m_anchorTime;
    qint64 m_anchorMonotonicMs = 0;
    qint64 m_offsetMs = 0;
};

} // namespace kestrava::agent
