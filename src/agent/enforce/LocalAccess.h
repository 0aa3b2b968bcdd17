#pragma once

namespace kestrava::agent {

// What stays reachable on the local networks while internet is off: everything but the controlled
// ports (All), or only the servers the computer needs (Servers: the console, the resolvers, DHCP,
// always_allow and white-listed addresses on the web ports).
enum class LocalAccess { All, Servers };

} // namespace kestrava::agent
