#pragma once

#include "agent/core/AgentAction.h"
#include "agent/core/AgentEvent.h"
#include "agent/core/AgentState.h"

#include <QList>

namespace kestrava::agent {

struct AgentStep {
    AgentState state;
    QList<AgentAction> actions; // to be carried out in this order
};

// The agent's decisions, free of the machine: what an event does to the state and what is to be done
// about it. The shell around it turns timers and sockets into events and actions into effects.
class AgentCore {
public:
    // A boundary further away is waited for in steps.
    static constexpr qint64 kLongestWaitMs = 6LL * 3600 * 1000;

    static AgentStep step(AgentState state, const AgentEvent& event, const ClockReading& now);
};

} // namespace kestrava::agent
