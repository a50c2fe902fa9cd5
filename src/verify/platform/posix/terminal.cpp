// POSIX terminals: a serial port named as FILE is read raw and set back at
// the end; diagnostics go to standard error as they are.
#include <termios.h>
#include <unistd.h>

#include <cstdio>

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

namespace {
termios terminal_before{};  // a raw terminal's settings before
}  // namespace

bool platform_terminal_raw(int fd) {
    if (isatty(fd) == 0 || tcgetattr(fd, &terminal_before) != 0) return false;
    termios raw = terminal_before;
    cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;  // a port without modem lines reads too
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &raw) == 0;
}

void platform_terminal_restore(int fd) {
    tcsetattr(fd, TCSANOW, &terminal_before);
}
