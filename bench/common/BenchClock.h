#pragma once

#include <QtGlobal>
#include <time.h>

namespace kestrava::bench {

// Nanoseconds on the monotonic clock that every process of a bench run shares.
inline qint64 nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The same on the clock that /proc's process start times count from.
inline qint64 bootNs() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace kestrava::bench
