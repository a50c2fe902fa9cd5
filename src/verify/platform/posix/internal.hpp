// What the POSIX side of platform.hpp shares between its files.
#pragma once

#include <csignal>

namespace posix {
// A descriptor the tool opens for itself never takes the number of a closed
// standard stream: a report would go into it, or a read of standard input
// would read it. Gives `fd`, moved to 3 or above where it was below.
int above_standard(int fd);

// Installs `handler` for `sig` unless the signal was ignored at the start
// (nohup, a shell's background jobs): then it stays ignored. With `restart`
// an interrupted read or write goes on; without, it ends with EINTR, so
// that a stop signal also ends a write blocked on a reader that sleeps.
void catch_signal(int sig, void (*handler)(int), bool restart);
}  // namespace posix
