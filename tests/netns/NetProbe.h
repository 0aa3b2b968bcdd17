#pragma once

#include <optional>

// The lab's reachability check, run as a process of its own inside the pc namespace:
// `<test binary> --probe HOST PORT TIMEOUT_MS` resolves HOST with getaddrinfo (so names go through
// that namespace's DNS) and connects to each address in turn until one accepts. Exit codes: 0
// connected, 1 no connection in time, 2 the name gave no address.
namespace NetProbe {

// The probe's exit code when argv asks for a probe; nullopt otherwise (the program goes on as usual).
std::optional<int> runFromArguments(int argc, char** argv);

// One connection attempt to a numeric or named host, bounded by timeoutMs in all.
int connectOnce(const char* host, const char* port, int timeoutMs);

} // namespace NetProbe
