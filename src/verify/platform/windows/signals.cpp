// Windows signals: Ctrl-C, Ctrl-Break and a termination noted by msvcrt's
// handlers, and a wait on a pipe that ends on them.
#include <io.h>
#include <windows.h>

#include <csignal>
#include <cstdlib>

#include "verify/platform.hpp"

namespace {
volatile std::sig_atomic_t stop_signal = 0;

// msvcrt runs it on a thread of its own, and resets the signal to its
// default first.
void note_stop(int sig) {
    if (stop_signal == 0) stop_signal = sig;
}
}  // namespace

void platform_catch_stop_signals() {
    for (const int sig : {SIGINT, SIGTERM, SIGBREAK}) {
        if (std::signal(sig, note_stop) == SIG_IGN) std::signal(sig, SIG_IGN);
    }
}

void platform_catch_status_signals() {}

bool platform_take_status_request() {
    return false;
}

int platform_stop_signal() {
    return stop_signal;
}

void platform_end_by_signal(int sig) {
    _exit(128 + sig);
}

input_state platform_wait_input(int fd, int ms) {
    // Only a pipe can be asked whether bytes wait in it; a read of a file or
    // a device goes ahead.
    auto* const h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    const bool pipe = h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_PIPE;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (;;) {
        if (stop_signal != 0) return input_state::stopped;
        DWORD waiting = 0;
        // A pipe whose writer has gone fails here; the read then says so.
        if (!pipe || PeekNamedPipe(h, nullptr, 0, nullptr, &waiting, nullptr) == 0 || waiting > 0)
            return input_state::ready;
        if (GetTickCount64() >= end) return input_state::idle;
        Sleep(5);
    }
}

// A write blocked on a pipe is not ended here; the limits end the read.
void platform_arm_limit(double /*seconds*/) {}
void platform_write_begin() {}
void platform_write_end() {}

bool platform_limit_passed() {
    return false;
}
