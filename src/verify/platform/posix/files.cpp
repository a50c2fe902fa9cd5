// POSIX files: open(2) and fdopen, 64-bit off_t, stat for the kind of a
// file, glibc's unlocked reads where they exist, leases waited out.
#include <fcntl.h>
#include <sys/stat.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "internal.hpp"
#include "verify/platform.hpp"

void platform_args(int& /*argc*/, char**& /*argv*/) {}

int posix::above_standard(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int saved = errno;
    close(fd);
    errno = saved;
    return moved;
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
    return posix::above_standard(open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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
            if (platform_stop_signal() != 0) {
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
        int blocking = posix::above_standard(open(self, O_RDONLY | O_NOCTTY | O_CLOEXEC));
        if (blocking < 0 && errno == ENOENT)
            blocking = posix::above_standard(open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC));
        why = errno;
        close(fd);
        if (blocking < 0) {
            err = why;
            return nullptr;
        }
        fd = blocking;
    }
    // Reads of a file block as usual from here on. A terminal, a FIFO or a
    // socket stays non-blocking: a read after the wait said ready could
    // still wait, past every limit, where another process took the bytes.
    // The descriptor is this process's own, so no other sees the flag.
    const bool stream = fstat(fd, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* f = nullptr;
    if (flags >= 0 && fcntl(fd, F_SETFL, stream ? flags : flags & ~O_NONBLOCK) == 0) f = fdopen(fd, "rb");
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

const std::uint8_t* platform_read_in_place(std::FILE* f, std::size_t n) {
#if defined(__GLIBC__)
    // glibc's FILE holds its read buffer in fields that its own getc macro
    // uses: the bytes from _IO_read_ptr to _IO_read_end are read, not taken.
    // Before the first read both are null: no bytes.
    if (static_cast<std::size_t>(f->_IO_read_end - f->_IO_read_ptr) < n) return nullptr;
    const auto* p = reinterpret_cast<const std::uint8_t*>(f->_IO_read_ptr);
    f->_IO_read_ptr += n;
    return p;
#else
    (void)f;
    (void)n;
    return nullptr;
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

std::string platform_system_name(const char* name) {
    return name;
}

std::int64_t platform_name_size(const char* name) {
    struct stat info {};
    return stat(name, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

std::int64_t platform_read_some(int fd, void* dst, std::size_t n) {
    ssize_t got = 0;
    do {
        got = read(fd, dst, n);
    } while (got < 0 && errno == EINTR && platform_stop_signal() == 0);
    return got;
}

int platform_stdin_binary() {
    return STDIN_FILENO;
}

int platform_fd(std::FILE* f) {
    return fileno(f);
}

std::FILE* platform_open_write(const char* name, bool append, int& err) {
    const int fd =
        posix::above_standard(open(name, O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : 0), 0666));
    std::FILE* f = fd >= 0 ? fdopen(fd, append ? "ab" : "wb") : nullptr;
    if (f == nullptr) {
        err = errno;
        if (fd >= 0) close(fd);
    }
    return f;
}

bool platform_empty_file(std::FILE* f, int& err) {
    struct stat info {};
    // A FIFO or a device has nothing to empty.
    if (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode) || ftruncate(fileno(f), 0) == 0) return true;
    err = errno;
    return false;
}

bool platform_same_file(const char* name, std::FILE* f) {
    struct stat in {};
    struct stat out {};
    const bool got = std::strcmp(name, "-") == 0 ? fstat(STDIN_FILENO, &in) == 0 : stat(name, &in) == 0;
    return got && fstat(fileno(f), &out) == 0 && S_ISREG(out.st_mode) && in.st_dev == out.st_dev &&
           in.st_ino == out.st_ino;
}
