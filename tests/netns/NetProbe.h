#pragma once

#include <optional>

// The lab's reachability checks, each run as a process of its own inside the pc:
//   `<test binary> --probe HOST PORT TIMEOUT_MS` resolves HOST with getaddrinfo (so names go through the
//   pc's DNS) and connects to each address in turn until one accepts. Exit codes: 0 connected, 1 no
//   connection in time, 2 the name gave no address.
//   `<test binary> --probe-udp HOST PORT TIMEOUT_MS SOURCE_PORT` sends a datagram (from SOURCE_PORT unless
//   0) and waits for it to come back: 0 echoed, 1 nothing in time, 2 no address.
//   `<test binary> --dns SERVER NAME TYPE TIMEOUT_MS` asks SERVER (numeric) on port 53 for NAME's
//   records of TYPE (a number) over UDP and exits with the answer's result code (0 with at least one
//   record), kDnsNoRecords or kDnsNoAnswer.
namespace NetProbe {

constexpr int kDnsNoRecords = 16;
constexpr int kDnsNoAnswer = 17;
constexpr int kDnsNxDomain = 3;
constexpr int kDnsRefused = 5;
constexpr int kTypeA = 1;
constexpr int kTypeTxt = 16;

// The probe's exit code when argv asks for a probe; nullopt otherwise (the program goes on as usual).
std::optional<int> runFromArguments(int argc, char** argv);

// One connection attempt to a numeric or named host, bounded by timeoutMs in all.
int connectOnce(const char* host, const char* port, int timeoutMs);

} // namespace NetProbe
