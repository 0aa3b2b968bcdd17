#include "policy/ConsoleClock.h"

#include "protocol/ConsoleTimeText.h"

#include <time.h>

namespace kestrava::agent {

namespace {

// CLOCK_BOOTTIME goes on while the computer sleeps, so the console's time stays right after a resume.
qint64 bootTimeMs() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

ConsoleClock::ConsoleClock(MonotonicSource monotonic, WallClockSource wallClock)
    : m_monotonic(monotonic ? std::move(monotonic) : MonotonicSource(bootTimeMs))
    , m_wallClock(wallClock ? std::move(wallClock)
                            : WallClockSource([] { return QDateTime::currentDateTime(); })) {}

bool ConsoleClock::receiveStamp(const QDateTime& stamp) {
    if (!stamp.isValid() || ConsoleTimeText::isTimeAlone(stamp))
        return false;
    anchor(stamp.addMSecs(-kStampLeadMs));
    m_source = Source::Console;
    return true;
}

void ConsoleClock::startFromOffset(qint64 offsetMs) {
    anchor(localNaive().addMSecs(offsetMs));
    m_source = Source::SavedOffset;
}

QDateTime ConsoleClock::now() const {
    if (m_source == Source::LocalClock)
        return localNaive();
    return m_anchorTime.addMSecs(m_monotonic() - m_anchorMonotonicMs);
}

QDateTime ConsoleClock::localNaive() const {
    const QDateTime local = m_wallClock();
    return ConsoleTimeText::naive(local.date(), local.time());
}

void ConsoleClock::anchor(const QDateTime& consoleTime) {
    m_anchorMonotonicMs = m_monotonic();
    m_anchorTime = consoleTime;
    m_offsetMs = localNaive().msecsTo(consoleTime);
}

} // namespace kestrava::agent
