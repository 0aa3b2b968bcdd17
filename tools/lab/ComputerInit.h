#pragma once

#include <string>
#include <sys/types.h>

// The first process of a lab computer, started by its maker in the computer's network namespace (`ip
// netns exec`, which gives it a mount namespace and a /sys of its own). It puts the computer's own /run
// (with the student's runtime folder /run/user/UID), /tmp and /usr/local/games (empty, then the game when
// folder holds one) in place, and its /etc/passwd, /etc/group, /etc/hosts and /etc/resolv.conf from folder
// over the machine's, then forks the computer's PID 1 in a new PID namespace with its own /proc. It prints
// "pid N" with that process's pid as the machine sees it; every program of the computer is started into
// its namespaces with ComputerEnter. When its maker ends, or SIGTERM comes, so does it, and with PID 1
// every process of the computer.
namespace ComputerInit {

// main() of `kestrava-lab --computer-init FOLDER UID`; UID is the student's, whose group has the same
// number.
int run(const std::string& folder, uid_t student);

} // namespace ComputerInit
