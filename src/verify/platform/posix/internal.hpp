// What the POSIX side of platform.hpp shares between its files.
#pragma once

#include <csignal>

// Marks a signal handler. qemu-user before 8.0 enters x86 handlers with the
// stack off the 16-byte alignment that the compiler's vector stores to it
// assume (the handler dies of SIGSEGV there); realigning on entry lets the
// suites run under it, and costs an instruction natively.
#if defined(__x86_64__) || defined(__i386__)
#define POSIX_SIGNAL_HANDLER __attribute__((force_align_arg_pointer))
#else
#define POSIX_SIGNAL_HANDLER
#endif

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
