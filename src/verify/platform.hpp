// Everything that differs between the systems ctrcheck runs on (Linux and
// other POSIX systems, Windows): opening a file by name, 64-bit seek and tell,
// what kind of file a stream is, the fast unlocked reads, terminals, the
// command line and the processor's vector extensions. No other file asks
// which system it is on; each system's answers are in a folder of its own,
// platform/posix/ and platform/windows/, a file per concern (files, terminals
// or consoles, signals, clocks, sockets), and the processor probes in
// platform/cpu/; the build picks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Replaces argv with the command line as UTF-8 where the system hands it over
// in another encoding (Windows); elsewhere leaves it as it is.
void platform_args(int& argc, char**& argv);

// Opens the file `name` (UTF-8) for binary reading ("rb"). Never waits for
// another process without end: a FIFO without a writer opens at once, and a
// file under a lease (an oplock, a delegation) opens once the kernel has
// broken the lease, asking without blocking until the kernel's lease-break
// time (on NFS, the server's lease time) has passed, or a stop signal came.
// A block device is opened blocking, so that a drive without a medium says so. On failure returns null with
// the reason in `err`; a directory that the system will not open as a stream gives EISDIR.
std::FILE* platform_open(const char* name, int& err);

// Connects to the stream socket `name` (a Unix socket) and gives a stream
// that reads what it sends; null with the reason in `err` where it cannot.
std::FILE* platform_connect(const char* name, int& err);

// The name that platform_open hands to the system for `name`: on Windows the
// \\?\ form of the full path where that path is too long for the ordinary
// form, else the name as it is. Empty for a name the system cannot take.
std::string platform_system_name(const char* name);

// The size of the file `name` as the system says it, or -1.
std::int64_t platform_name_size(const char* name);

// 64-bit fseek and ftell; the usual results (0 or -1, position or -1) with
// the reason in errno.
int platform_seek(std::FILE* f, std::int64_t offset, int whence);
std::int64_t platform_tell(std::FILE* f);

enum class file_kind {
    measurable,  // a regular file or a block device: its end is its size
    directory,
    fifo,  // a FIFO or a pipe
    socket,
    char_device,  // a terminal, /dev/zero, /dev/null, NUL, ...
    unknown,      // the system could not say (errno tells why)
};

// What kind of file the stream reads from.
file_kind platform_file_kind(std::FILE* f);

// What kind of file the name is, for a name that could not be opened:
// directory or socket where the system can tell, else unknown.
file_kind platform_name_kind(const char* name);

// The reason to give for a failed write to `f` whose errno was `err`: the
// system's own, except where the C library hides a closed pipe behind
// another (msvcrt's EINVAL), which is EPIPE. `f` is null after a close.
int platform_write_error(std::FILE* f, int err);

// fread and getc, without taking the stream's lock where the C library
// offers that (one thread reads it): both with glibc, getc alone on Windows.
std::size_t platform_read(void* dst, std::size_t n, std::FILE* f);
int platform_getc(std::FILE* f);

// The next n bytes of f where they already are, in the stream's own buffer,
// taken as fread would take them; null when fewer are buffered or the C
// library does not show its buffer (then fread them). No read call of its
// own, so the reads the system sees stay those of fread.
const std::uint8_t* platform_read_in_place(std::FILE* f, std::size_t n);

// Writes one line of UTF-8 text to a diagnostics stream. A Windows console
// is given it as Unicode, so that names in any script show correctly there;
// everywhere else the bytes go as they are.
void platform_put_line(std::FILE* f, const char* line);

// Switches a stream that turns "\n" into CR LF itself (a Windows text-mode
// stream) to binary mode and gives true: the caller then writes the CR LF,
// in large writes, where msvcrt's text mode hands a character device such as
// NUL one line per system call. Elsewhere false, and no change.
bool platform_raw_line_ends(std::FILE* f);

// True when the stream is a terminal that someone is watching: on Windows a
// console, not NUL or another character device.
bool platform_is_terminal(std::FILE* f);

// --- Streams read to their end, and a run stopped on request ---------------

// Catches SIGINT, SIGTERM and SIGHUP (where the system has them), except
// those that were ignored when the process started: their arrival is only
// noted, for platform_stop_signal and platform_wait_input to tell. A read
// or write that one interrupts ends with EINTR (a blocked write too), and a
// lease wait in platform_open gives up with EINTR.
void platform_catch_stop_signals();

// The caught stop signal that has arrived, or 0.
int platform_stop_signal();

// Catches SIGUSR1 (and SIGINFO, Ctrl-T, where the system has it) as a
// request for a status line, unless it was ignored at the start; where the
// system has neither, nothing.
void platform_catch_status_signals();

// True once for each status request that has come since the last call.
bool platform_take_status_request();

// Ends the process by `sig` as if it had never been caught, so that a shell
// sees 128 + sig; where the system has no such ending, exits with that.
[[noreturn]] void platform_end_by_signal(int sig);

enum class input_state {
    ready,    // a read will not wait: bytes, the end, or an error
    idle,     // nothing came within the time given
    stopped,  // a stop signal has arrived
};

// Waits at most `ms` milliseconds for descriptor `fd` to be ready to read.
// Returns at once once a stop signal has arrived, also one that comes
// during the wait.
input_state platform_wait_input(int fd, int ms);

// One read of at most n bytes from `fd`: the count, 0 at the end, or -1
// with the reason in errno, EAGAIN where nothing has come after all (a
// terminal, FIFO or socket that platform_open opened is read without
// blocking, since another reader may take what the wait saw).
std::int64_t platform_read_some(int fd, void* dst, std::size_t n);

// Seconds since an arbitrary start, on a clock that never jumps.
double platform_seconds();

// Seconds since 1970-01-01 00:00 UTC, on the system's clock.
double platform_utc_seconds();

// Where `fd` is a terminal (a serial port), switches it to raw input: 8-bit
// bytes as they come, no echo, no line editing, no special characters; the
// settings before are kept for platform_terminal_restore. False, and no
// change, for anything else (and on Windows).
bool platform_terminal_raw(int fd);
void platform_terminal_restore(int fd);

// Opens the file `name` (UTF-8) for writing a report: created where it is
// not there, appended to with `append`, but not emptied yet, so that it can
// first be told apart from the inputs. Null with the reason in `err`.
std::FILE* platform_open_write(const char* name, bool append, int& err);

// Empties the report file `f` that platform_open_write opened; false with
// the reason in `err`.
bool platform_empty_file(std::FILE* f, int& err);

// True when the input `name` ("-": standard input) is the very regular file
// that `f` writes to (the same device and file number), whatever the path.
bool platform_same_file(const char* name, std::FILE* f);

// True when streams a and b are one terminal: a line on one moves the
// cursor of the other.
bool platform_same_terminal(std::FILE* a, std::FILE* b);

// A time limit that also ends a write blocked on a reader that does not
// read: `seconds` from now (again at each call, which replaces the last).
// A write between platform_write_begin and platform_write_end that still
// blocks a quarter of a second past the limit ends with EINTR, and so does
// every later one that blocks; platform_limit_passed tells that it came.
// Where the system has no such timer (Windows), nothing.
void platform_arm_limit(double seconds);
void platform_write_begin();
void platform_write_end();
bool platform_limit_passed();

// The descriptor that stream `f` reads from.
int platform_fd(std::FILE* f);

// The descriptor of standard input, switched to binary mode where the
// system has another (Windows).
int platform_stdin_binary();

// Vector extensions of the processor that the operating system has enabled;
// false on processors that do not have them at all.
bool platform_cpu_has_avx2();
bool platform_cpu_has_avx512bw();
