// POSIX systems (Linux, macOS, the BSDs): open(2) and fdopen, 64-bit off_t,
// stat for the kind of a file, glibc's unlocked reads where they exist.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform.hpp"

void platform_args(int& /*argc*/, char**& /*argv*/) {}

namespace {
volatile std::sig_atomic_t stop_signal = 0;
// The self-pipe: the handler writes a byte, so that a wait in poll() that
// began just before the signal still ends at once.
int stop_pipe[2] = {-1, -1};

// Once a stop signal has come, an alarm each second interrupts whatever
// write would still block (a reader that sleeps, a terminal paused with
// Ctrl-S), so that the run ends by the signal without waiting for it.
void rearm(int /*sig*/) {
    alarm(1);
}

void note_stop(int sig) {
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

void note_status(int /*sig*/) {
    status_request = 1;
}

// Installs `handler` for `sig` unless the signal was ignored at the start
// (nohup, a shell's background jobs): then it stays ignored. With `restart`
// an interrupted read or write goes on; without, it ends with EINTR, so
// that a stop signal also ends a write blocked on a reader that sleeps.
void catch_signal(int sig, void (*handler)(int), bool restart) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction act {};
    act.sa_handler = handler;
    sigemptyset(&act.sa_mask);
    act.sa_flags = restart ? SA_RESTART : 0;
    sigaction(sig, &act, nullptr);
}

// A descriptor the tool opens for itself never takes the number of a closed
// standard stream: a report would go into it, or a read of standard input
// would read it. Gives `fd`, moved to 3 or above where it was below.
int above_standard(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int saved = errno;
    close(fd);
    errno = saved;
    return moved;
}
}  // namespace

double platform_seconds() {
    timespec t{};
    // A clock that fails must not stop time for a wait that counts on it.
    if (clock_gettime(CLOCK_MONOTONIC, &t) != 0) return static_cast<double>(std::time(nullptr));
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double platform_utc_seconds() {
    timespec t{};
    if (clock_gettime(CLOCK_REALTIME, &t) != 0) return static_cast<double>(std::time(nullptr));
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

namespace {

// How long the kernel gives a lease holder before it breaks the lease
// itself: /proc/sys/fs/lease-break-time, 45 s where that cannot be read.
double lease_break_seconds() {
    char text[32] = {};
    std::FILE* f = std::fopen("/proc/sys/fs/lease-break-time", "re");
    if (f == nullptr) return 45;
    const bool got = std::fgets(text, sizeof text, f) != nullptr;
    std::fclose(f);
    char* end = nullptr;
    const long seconds = got ? std::strtol(text, &end, 10) : -1;
    return end != text && seconds >= 0 ? static_cast<double>(seconds) : 45;
}

// How long a lease on `name` may take to break: on an NFS mount the server
// recalls its delegation from the other client after its own lease time
// (90 s by default), not after the local lease-break time.
double lease_wait_seconds(const char* name) {
    const double local = lease_break_seconds();
#if defined(__linux__)
    constexpr long nfs_magic = 0x6969;
    struct statfs fs {};
    if (statfs(name, &fs) == 0 && static_cast<long>(fs.f_type) == nfs_magic) return local > 90 ? local : 90;
#else
    (void)name;
#endif
    return local;
}

// open(2) of `name` for reading that never blocks: a FIFO without a writer
// (or a device waiting for a carrier) opens at once.
int open_nonblocking(const char* name) {
    return above_standard(open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}
}  // namespace

std::FILE* platform_open(const char* name, int& err) {
    int fd = open_nonblocking(name);
    int why = errno;
    if (fd < 0 && (why == EAGAIN || why == EWOULDBLOCK)) {
        // Another process holds a lease on the file (a Samba oplock, an NFS
        // delegation): the non-blocking open is refused rather than wait, but
        // it has started the break, which the kernel completes itself after
        // the lease-break time. Asking again until then never blocks, also
        // when the name is meanwhile renamed to a FIFO; what was opened is
        // told apart by its kind afterwards, as with any other name. The
        // open's own reason is kept in `why`: the calls between may change errno.
        const double deadline = platform_seconds() + lease_wait_seconds(name) + 1;
        long pause_ns = 1000000;
        while (fd < 0 && (why == EAGAIN || why == EWOULDBLOCK) && platform_seconds() < deadline) {
            if (stop_signal != 0) {
                why = EINTR;
                break;
            }
            const timespec pause{0, pause_ns};
            nanosleep(&pause, nullptr);
            pause_ns = pause_ns < 64000000 ? 2 * pause_ns : pause_ns;
            fd = open_nonblocking(name);
            why = errno;
        }
    }
    if (fd < 0) {
        err = why;
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISBLK(info.st_mode)) {
        // A drive without a medium (a card reader, a CD drive) opens without
        // one when asked not to block; a blocking open says "No medium found".
        // The open descriptor names the device itself, whatever became of the name.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        int blocking = above_standard(open(self, O_RDONLY | O_NOCTTY | O_CLOEXEC));
        if (blocking < 0 && errno == ENOENT)
            blocking = above_standard(open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC));
        why = errno;
        close(fd);
        if (blocking < 0) {
            err = why;
            return nullptr;
        }
        fd = blocking;
    }
    // Reads block as usual from here on.
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* f = nullptr;
    if (flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) f = fdopen(fd, "rb");
    if (f == nullptr) {
        err = errno;
        close(fd);
    }
    return f;
}

int platform_seek(std::FILE* f, std::int64_t offset, int whence) {
    static_assert(sizeof(off_t) == 8, "64-bit file offsets (_FILE_OFFSET_BITS=64)");
    return fseeko(f, offset, whence);
}

std::int64_t platform_tell(std::FILE* f) {
    return ftello(f);
}

file_kind platform_file_kind(std::FILE* f) {
    struct stat info {};
    if (fstat(fileno(f), &info) != 0) return file_kind::unknown;
    if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) return file_kind::measurable;
    if (S_ISDIR(info.st_mode)) return file_kind::directory;
    if (S_ISFIFO(info.st_mode)) return file_kind::fifo;
    if (S_ISSOCK(info.st_mode)) return file_kind::socket;
    if (S_ISCHR(info.st_mode)) return file_kind::char_device;
    errno = 0;
    return file_kind::unknown;
}

std::size_t platform_read(void* dst, std::size_t n, std::FILE* f) {
#if defined(__GLIBC__)
    return fread_unlocked(dst, 1, n, f);
#else
    return std::fread(dst, 1, n, f);
#endif
}

int platform_getc(std::FILE* f) {
    return getc_unlocked(f);
}

file_kind platform_name_kind(const char* name) {
    struct stat info {};
    if (stat(name, &info) != 0) return file_kind::unknown;
    if (S_ISDIR(info.st_mode)) return file_kind::directory;
    if (S_ISSOCK(info.st_mode)) return file_kind::socket;
    return file_kind::unknown;
}

int platform_write_error(std::FILE* /*f*/, int err) {
    return err;
}

bool platform_raw_line_ends(std::FILE* /*f*/) {
    return false;
}

bool platform_is_terminal(std::FILE* f) {
    return isatty(fileno(f)) != 0;
}

void platform_put_line(std::FILE* f, const char* line) {
    std::fputs(line, f);
}

std::string platform_system_name(const char* name) {
    return name;
}

std::int64_t platform_name_size(const char* name) {
    struct stat info {};
    return stat(name, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

void platform_catch_stop_signals() {
    if (stop_pipe[0] < 0 && pipe(stop_pipe) == 0) {
        for (int& fd : stop_pipe) {
            fd = above_standard(fd);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    catch_signal(SIGALRM, rearm, false);  // first: a stop arms the alarm
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) catch_signal(sig, note_stop, false);
}

void platform_catch_status_signals() {
    catch_signal(SIGUSR1, note_status, true);
#ifdef SIGINFO
    catch_signal(SIGINFO, note_status, true);
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

std::int64_t platform_read_some(int fd, void* dst, std::size_t n) {
    ssize_t got = 0;
    do {
        got = read(fd, dst, n);
    } while (got < 0 && errno == EINTR && stop_signal == 0);
    return got;
}

int platform_stdin_binary() {
    return STDIN_FILENO;
}

int platform_fd(std::FILE* f) {
    return fileno(f);
}

std::FILE* platform_connect(const char* name, int& err) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(name);
    if (length >= sizeof address.sun_path) {
        err = ENAMETOOLONG;
        return nullptr;
    }
    std::memcpy(address.sun_path, name, length + 1);
    const int fd = above_standard(socket(AF_UNIX, SOCK_STREAM, 0));
    std::FILE* f = nullptr;
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        f = fdopen(fd, "rb");
    if (f == nullptr) {
        err = errno;
        if (fd >= 0) close(fd);
    }
    return f;
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

std::FILE* platform_open_write(const char* name, bool append, int& err) {
    const int fd =
        above_standard(open(name, O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666));
    std::FILE* f = fd >= 0 ? fdopen(fd, append ? "ab" : "wb") : nullptr;
    if (f == nullptr) {
        err = errno;
        if (fd >= 0) close(fd);
    }
    return f;
}
