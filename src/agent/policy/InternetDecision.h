#pragma once

#include "agent/policy/Policy.h"

#include <QDateTime>
#include <optional>

namespace kestrava::agent {

// Whether the console imposes anything, the internet state it gives, and when that state changes.
struct Decision {
    bool imposed = false;
    bool internetOn = true;
    std::optional<QDateTime> nextChange; // the next instant the state flips; none within ~400 days

    bool operator==(const Decision&) const = default;
};

// How far ahead a change is looked for.
inline constexpr int kDecisionLookAheadDays = 400;

// The internet state a schedule gives at consoleNow (the console's time, naive as it sends it).
Decision decide(const Schedule& schedule, const QDateTime& consoleNow);

} // namespace kestrava::agent
