#pragma once

#include "agent/policy/Policy.h"
#include "protocol/ConsoleOrder.h"

#include <QString>
#include <optional>
#include <sys/types.h>
#include <variant>

namespace kestrava::agent {

// What happens to the agent, as its core sees it.
namespace AgentEvents {

// The agent starts, with the orders saved by its last run if any.
struct Started {
    std::optional<Orders> saved{};
};
struct OrderReceived {
    ConsoleOrder order{};
};
// addressIsNew: the console was reached at an address the rules did not let through yet.
struct Connected {
    bool addressIsNew = false;
};
struct Disconnected {};
// The internet state may change now: a schedule or timer boundary.
struct BoundaryReached {};
// What the rules are built from besides the orders changed (the console's addresses or ports, the DNS
// forwarder up or down), or rules that failed are to be tried again.
struct RulesInputChanged {};
// The periodic look at the table; intact is false when it was removed or changed by hand.
struct TableChecked {
    bool intact = true;
};
struct ProgramEnded {
    uid_t uid = 0;
    QString program{};
};
// SIGTERM or SIGINT: the process ends, the rules stay in force.
struct Stopping {};

} // namespace AgentEvents

using AgentEvent =
    std::variant<AgentEvents::Started, AgentEvents::OrderReceived, AgentEvents::Connected,
                 AgentEvents::Disconnected, AgentEvents::BoundaryReached, AgentEvents::RulesInputChanged,
                 AgentEvents::TableChecked, AgentEvents::ProgramEnded, AgentEvents::Stopping>;

} // namespace kestrava::agent
