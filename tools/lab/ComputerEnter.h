#pragma once

#include <sys/types.h>

// The way into a lab computer that ComputerInit made: joins the network, PID and mount namespaces of its
// PID 1 and forks the program there, with a clean environment. With a user other than root, the program
// runs as that user and the group of the same number, without supplementary groups, with that user's
// runtime folder and bus address, and at most processes processes (0: no limit). SIGTERM, SIGINT and
// SIGHUP are passed on, and it ends as the program ends: the same exit code, or killed by the same
// signal, so that whoever started it sees the program's end. The program is its only child.
namespace ComputerEnter {

// main() of `kestrava-lab --computer-enter PID UID NPROC PROGRAM [ARGUMENT...]`.
int run(pid_t firstProcess, uid_t user, long processes, char** command);

} // namespace ComputerEnter
