#pragma once

#include <string>
#include <vector>

// The probe the lab runs inside a lab computer as its student: an HTTP GET of each host's "/" on port 80,
// all at once, each within timeoutMs. Prints one line per host, "host yes" or "host no".
namespace WebFetch {

// Whether http://host/ answered with a status line, within timeoutMs.
bool fetch(const std::string& host, int timeoutMs);
// main() of `kestrava-lab --fetch HOST...`; exit code 0.
int run(const std::vector<std::string>& hosts);

} // namespace WebFetch
