#include "agent/policy/ConsoleClock.h"

namespace kestrava::agent {

void ConsoleClock::receiveStamp(const QDateTime& stamp, const ClockReading& at) {
    anchor(stamp.addMSecs(-kStampLeadMs), at);
    m_source = Source::Console;
}

void ConsoleClock::startFromOffset(qint64 offsetMs, const ClockReading& at) {
    anchor(at.local.addMSecs(offsetMs), at);
    m_source = Source::SavedOffset;
}

QDateTime ConsoleClock::now(const ClockReading& at) const {
    if (m_source == Source::LocalClock)
        return at.local;
    return m_anchorTime.addMSecs(at.monotonicMs - m_anchorMonotonicMs);
}

void ConsoleClock::anchor(const QDateTime& consoleTime, const ClockReading& at) {
    m_anchorMonotonicMs = at.monotonicMs;
    m_anchorTime = consoleTime;
    m_offsetMs = at.local.msecsTo(consoleTime);
}

} // namespace kestrava::agent
