#pragma once

#include <chrono>
#include <string>
#include <vector>

struct addrinfo;

// The probe the lab runs inside a lab computer as its student: an HTTP GET of each host's "/" on port 80,
// all at once, each within timeoutMs. Prints one line per host, "host yes" or "host no".
namespace WebFetch {

using Clock = std::chrono::steady_clock;

// A TCP connection to address made before the deadline: its descriptor, or -1.
int connectBefore(const addrinfo& address, Clock::time_point deadline);
// Milliseconds left until the deadline; 0 once it has passed.
int leftMs(Clock::time_point deadline);

// Whether http://host/ answered with a status line, within timeoutMs.
bool fetch(const std::string& host, int timeoutMs);
// main() of `kestrava-lab --fetch HOST...`; exit code 0.
int run(const std::vector<std::string>& hosts);

} // namespace WebFetch
