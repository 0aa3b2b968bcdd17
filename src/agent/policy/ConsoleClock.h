#pragma once

#include <QDateTime>
#include <functional>

namespace kestrava::agent {

// The console's clock as the agent keeps it: anchored at the last "S" time stamp and carried on by a
// monotonic count, so changing this computer's clock changes nothing. Times are naive wall-clock
// readings in UTC form (see ConsoleTimeText).
class ConsoleClock {
public:
    // Milliseconds from any fixed origin, never going back; the default counts suspend too.
    using MonotonicSource = std::function<qint64()>;
    // This computer's wall clock; the default is its local time.
    using WallClockSource = std::function<QDateTime()>;

    enum class Source { LocalClock, SavedOffset, Console };

    // The "S" time stamp runs this far ahead of the console's clock.
    static constexpr qint64 kStampLeadMs = 2000;

    explicit ConsoleClock(MonotonicSource monotonic = {}, WallClockSource wallClock = {});

    // Takes the time stamp of an "S" received just now. False, and nothing changes, for a stamp
    // that names no moment (invalid or a time alone).
    bool receiveStamp(const QDateTime& stamp);
    // After a restart without console: this computer's clock plus the offset last known.
    void startFromOffset(qint64 offsetMs);

    // The console's present time; this computer's clock while nothing else is known.
    QDateTime now() const;
    // The console's clock minus this computer's wall clock, as of the last anchoring.
    qint64 offsetMs() const { return m_offsetMs; }
    Source source() const { return m_source; }

private:
    QDateTime localNaive() const;
    void anchor(const QDateTime& consoleTime);

    MonotonicSource m_monotonic;
    WallClockSource m_wallClock;
    Source m_source = Source::LocalClock;
    QDateTime m_anchorTime;
    qint64 m_anchorMonotonicMs = 0;
    qint64 m_offsetMs = 0;
};

} // namespace kestrava::agent
