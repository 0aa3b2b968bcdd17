#pragma once

#include <optional>

// The lab's reachability checks, each run as a process of its own inside the pc:
//   `<test binary> --probe HOST PORT TIMEOUT_MS` resolves HOST with getaddrinfo (so names go through the
//   pc's DNS) and connects to each address in turn until one accepts. Exit codes: 0 connected, 1 no
//   connection in time, 2 the name gave no address.
//   `<test binary> --probe-udp HOST PORT TIMEOUT_MS SOURCE_PORT` sends a datagram (over IPv4 from
//   SOURCE_PORT unless 0) and waits for it to come back: 0 echoed, 1 nothing in time, 2 no address.
namespace NetProbe {

// The probe's exit code when argv asks for a probe; nullopt otherwise (the program goes on as usual).
std::optional<int> runFromArguments(int argc, char** argv);

// One connection attempt to a numeric or named host, bounded by timeoutMs in all.
int connectOnce(const char* host, const char* port, int timeoutMs);

} // namespace NetProbe
