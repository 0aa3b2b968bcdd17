#pragma once

#include "agent/policy/ConsoleClock.h"
#include "agent/policy/Policy.h"

#include <optional>

namespace kestrava::agent {

// What the agent's core remembers between events.
struct AgentState {
    Orders orders;
    ConsoleClock clock;
    std::optional<bool> internetOn; // the state last put in force and reported
    bool timerRunning = false;      // the timer last reported running
    bool stopping = false;          // the process ends: nothing more is put in force

    bool operator==(const AgentState&) const = default;
};

} // namespace kestrava::agent
