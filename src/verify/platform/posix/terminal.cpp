// POSIX terminals: a serial port named as FILE is read raw and set back at
// the end; diagnostics go to standard error as they are.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "internal.hpp"
#include "verify/platform.hpp"

bool platform_raw_line_ends(std::FILE* /*f*/) {
    return false;
}

bool platform_is_terminal(std::FILE* f) {
    return isatty(fileno(f)) != 0;
}

void platform_put_line(std::FILE* f, const char* line) {
    std::fputs(line, f);
}

bool platform_same_terminal(std::FILE* a, std::FILE* b) {
    struct stat sa {};
    struct stat sb {};
    return isatty(fileno(a)) != 0 && isatty(fileno(b)) != 0 && fstat(fileno(a), &sa) == 0 &&
           fstat(fileno(b), &sb) == 0 && sa.st_rdev == sb.st_rdev;
}

namespace {
termios terminal_before{};               // a raw terminal's settings before
volatile std::sig_atomic_t raw_fd = -1;  // ... and its descriptor, while it is raw

// A signal that ends the process (a reader gone, Ctrl-\\, a fault) sets the
// terminal back first, then ends it as it would have.
POSIX_SIGNAL_HANDLER void restore_and_die(int sig) {
    if (raw_fd >= 0) tcsetattr(raw_fd, TCSANOW, &terminal_before);
    signal(sig, SIG_DFL);
    raise(sig);
}

// Every signal whose default is death and that nothing else catches.
void catch_fatal_signals() {
    for (const int sig :
         {SIGPIPE, SIGQUIT, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP, SIGXCPU, SIGXFSZ,
          SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGINT, SIGTERM, SIGHUP, SIGALRM}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction act {};
        act.sa_handler = restore_and_die;
        sigemptyset(&act.sa_mask);
        act.sa_flags = SA_NODEFER;
        sigaction(sig, &act, nullptr);
    }
}
}  // namespace

bool platform_terminal_raw(int fd) {
    if (isatty(fd) == 0 || tcgetattr(fd, &terminal_before) != 0) return false;
    termios raw = terminal_before;
    cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;  // a port without modem lines reads too
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    catch_fatal_signals();
    raw_fd = fd;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) return true;
    raw_fd = -1;
    return false;
}

void platform_terminal_restore(int fd) {
    tcsetattr(fd, TCSANOW, &terminal_before);
    raw_fd = -1;
}
