#pragma once

#include <string>

// The first process of a lab computer, started by the lab in the computer's network namespace (`ip netns
// exec`, which gives it a mount namespace of its own). It puts the computer's own /run, /tmp and
// /usr/local/games (empty, then the game) in place, and its /etc/passwd, /etc/group, /etc/hosts and
// /etc/resolv.conf from folder over the machine's, then forks the computer's PID 1 in a new PID
// namespace with its own /proc. It prints "pid N" with that process's pid as the machine sees it; every
// program of the computer is started into its namespaces with nsenter. When the lab ends, so does it,
// and with PID 1 every process of the computer.
namespace ComputerInit {

// main() of `kestrava-lab --computer-init FOLDER`.
int run(const std::string& folder);

} // namespace ComputerInit
