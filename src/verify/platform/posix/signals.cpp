// POSIX signals: a stop signal noted and a wait that ends on it (the
// self-pipe), status requests, the end by a signal.
#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "internal.hpp"
#include "verify/platform.hpp"

namespace {
volatile std::sig_atomic_t stop_signal = 0;
// The self-pipe: the handler writes a byte, so that a wait in poll() that
// began just before the signal still ends at once.
int stop_pipe[2] = {-1, -1};

// Once a stop signal has come, an alarm each second interrupts whatever
// write would still block (a reader that sleeps, a terminal paused with
// Ctrl-S), so that the run ends by the signal without waiting for it.
// A time limit (platform_arm_limit) comes on the same timer, but only while
// a write is under way (platform_write_begin to platform_write_end): an
// alarm that comes while the process computes would buy nothing, since the
// read loop watches the clock itself (and it kills x86-64 programs under
// qemu-user). Its first alarm marks the limit passed, the ones after it,
// every quarter of a second, end a write that still blocks.
volatile std::sig_atomic_t limit_armed = 0;
volatile std::sig_atomic_t limit_passed = 0;
double limit_at = -1;  // platform_seconds() of the limit; below 0: none
// A write may block this long past the limit before it is ended.
constexpr double limit_grace = 0.25;

void set_timer(double seconds) {
    // From a millisecond to three years: a time_t of 32 bits holds that.
    seconds = seconds < 0.001 ? 0.001 : seconds > 1e8 ? 1e8 : seconds;
    itimerval t{};
    t.it_value.tv_sec = static_cast<time_t>(seconds);
    t.it_value.tv_usec = static_cast<suseconds_t>((seconds - static_cast<double>(t.it_value.tv_sec)) * 1e6);
    setitimer(ITIMER_REAL, &t, nullptr);
}

POSIX_SIGNAL_HANDLER void rearm(int /*sig*/) {
    const int saved = errno;
    if (stop_signal != 0) {
        alarm(1);
    } else if (limit_armed != 0) {
        limit_passed = 1;
        set_timer(0.25);
    }
    errno = saved;
}

POSIX_SIGNAL_HANDLER void note_stop(int sig) {
    const int saved = errno;
    if (stop_signal == 0) {
        stop_signal = sig;
        alarm(1);
    }
    const char byte = 0;
    if (stop_pipe[1] >= 0 && write(stop_pipe[1], &byte, 1) < 0) {
        // Full: a byte is already waiting there.
    }
    errno = saved;
}

volatile std::sig_atomic_t status_request = 0;

POSIX_SIGNAL_HANDLER void note_status(int /*sig*/) {
    status_request = 1;
}

}  // namespace

void posix::catch_signal(int sig, void (*handler)(int), bool restart) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction act {};
    act.sa_handler = handler;
    sigemptyset(&act.sa_mask);
    act.sa_flags = restart ? SA_RESTART : 0;
    sigaction(sig, &act, nullptr);
}

void platform_catch_stop_signals() {
    if (stop_pipe[0] < 0 && pipe(stop_pipe) == 0) {
        for (int& fd : stop_pipe) {
            fd = posix::above_standard(fd);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    posix::catch_signal(SIGALRM, rearm, false);  // first: a stop arms the alarm
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) posix::catch_signal(sig, note_stop, false);
}

void platform_catch_status_signals() {
    posix::catch_signal(SIGUSR1, note_status, true);
#ifdef SIGINFO
    posix::catch_signal(SIGINFO, note_status, true);
#endif
}

bool platform_take_status_request() {
    if (status_request == 0) return false;
    status_request = 0;
    return true;
}

int platform_stop_signal() {
    return stop_signal;
}

void platform_end_by_signal(int sig) {
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(sig);
    // Reached only where the signal could not end the process after all.
    // cppcheck-suppress unreachableCode
    _exit(128 + sig);
}

input_state platform_wait_input(int fd, int ms) {
    if (stop_signal != 0) return input_state::stopped;
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_pipe[0], POLLIN, 0}};
    const int n = poll(fds, stop_pipe[0] >= 0 ? 2 : 1, ms);
    if (stop_signal != 0) return input_state::stopped;
    if (n == 0 || (n < 0 && errno == EINTR)) return input_state::idle;
    // Ready, or poll cannot tell (a device without it): the read decides.
    return input_state::ready;
}

void platform_arm_limit(double seconds) {
    limit_passed = 0;
    limit_at = platform_seconds() + seconds;
}

void platform_write_begin() {
    // After a stop signal its own alarms, each second, end a blocked write.
    if (limit_at < 0 || stop_signal != 0) return;
    limit_armed = 0;
    set_timer(limit_at + limit_grace - platform_seconds());
    limit_armed = 1;
    if (stop_signal != 0) alarm(1);  // it came just now: its alarm, not the limit's
}

void platform_write_end() {
    if (limit_armed == 0) return;  // no limit, or a stop's alarms govern
    limit_armed = 0;
    const int saved = errno;  // the write's reason, for the caller
    if (stop_signal == 0) {
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
    }
    errno = saved;
}

bool platform_limit_passed() {
    return limit_passed != 0;
}
