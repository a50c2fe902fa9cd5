// Windows: names are UTF-16 and long paths need the \\?\ form, the C library
// is msvcrt, and a console takes Unicode text of its own.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "platform.hpp"

namespace {
// msvcrt's own command-line parser, the one its startup code uses for wmain.
struct startup_info {
    int new_mode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int glob, startup_info* info);

// Names are converted as WTF-8: UTF-8 that also carries the lone surrogates
// that NTFS allows in a name (ED A0 80 to ED BF BF), so that every name
// converts both ways without loss. A name shown to a person has them
// escaped, as any byte sequence that is not well-formed UTF-8.
bool to_utf8(const wchar_t* w, std::string& s) {
    s.clear();
    for (; *w != L'\0'; ++w) {
        auto c = static_cast<std::uint32_t>(*w);
        const auto next = static_cast<std::uint32_t>(w[1]);
        if (c >= 0xd800 && c <= 0xdbff && next >= 0xdc00 && next <= 0xdfff) {
            c = 0x10000 + ((c - 0xd800) << 10) + (next - 0xdc00);
            ++w;
        }
        if (c < 0x80) {
            s += static_cast<char>(c);
            continue;
        }
        static constexpr std::uint32_t lead[] = {0, 0xc0, 0xe0, 0xf0};
        const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        s += static_cast<char>(lead[tail] | (c >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) s += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3f));
    }
    return true;
}

// False where `s` is not WTF-8 (an over-long form, a stray or missing
// continuation byte, a code point past U+10FFFF).
bool to_wide(const char* s, std::wstring& w) {
    w.clear();
    for (const auto* c = reinterpret_cast<const unsigned char*>(s); *c != 0;) {
        std::uint32_t cp = *c;
        int tail = 0;
        std::uint32_t least = 0;
        if (cp >= 0xf5 || (cp >= 0x80 && cp < 0xc2)) return false;
        if (cp >= 0x80) {
            tail = cp >= 0xf0 ? 3 : cp >= 0xe0 ? 2 : 1;
            static constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
            least = smallest[tail];
            cp &= 0x3fu >> tail;
        }
        ++c;
        for (int k = 0; k < tail; ++k, ++c) {
            if ((*c & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (*c & 0x3fu);
        }
        if (cp < least || cp > 0x10ffff) return false;
        if (cp >= 0x10000) {
            w += static_cast<wchar_t>(0xd800 + ((cp - 0x10000) >> 10));
            w += static_cast<wchar_t>(0xdc00 + (cp & 0x3ff));
        } else {
            w += static_cast<wchar_t>(cp);
        }
    }
    return true;
}
}  // namespace

void platform_args(int& argc, char**& argv) {
    // The narrow argv is in the ANSI code page, which cannot hold every file
    // name; the wide one can. The copies live as long as the process.
    static std::vector<std::string> utf8;
    static std::vector<char*> pointers;
    int wargc = 0;
    wchar_t** wargv = nullptr;
    wchar_t** wenv = nullptr;
    startup_info info{0};
    if (__wgetmainargs(&wargc, &wargv, &wenv, 0, &info) != 0 || wargv == nullptr) return;
    const auto n = static_cast<std::size_t>(wargc);
    utf8.resize(n);
    pointers.assign(n + 1, nullptr);
    for (std::size_t k = 0; k < n; ++k) {
        if (!to_utf8(wargv[k], utf8[k])) return;
        pointers[k] = utf8[k].data();
    }
    argc = wargc;
    argv = pointers.data();
}

namespace {
// The name handed to the system for `name`: past MAX_PATH only the \\?\ form
// of the full path opens, whatever the system's long-path setting, and it is
// the full path's length that counts, not the length of the name as typed
// (a short relative name in a deep folder is long too). Shorter paths keep
// their ordinary form, so that device names such as NUL stay devices. Empty
// when the name is empty or not valid UTF-8.
std::wstring system_name(const char* name) {
    std::wstring wname;
    if (*name == '\0' || !to_wide(name, wname)) return {};
    // The system's own long form goes as it is: normalising it could name
    // another file (a trailing dot or space is part of such a name).
    if (wname.rfind(L"\\\\?\\", 0) == 0) return wname;
    const DWORD n = GetFullPathNameW(wname.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    if (n == 0 || GetFullPathNameW(wname.c_str(), n, full.data(), nullptr) != n - 1) return wname;
    full.resize(n - 1);
    // 12 short of MAX_PATH: the limit that the system applies to folders.
    if (full.size() < MAX_PATH - 12) return wname;
    if (full.rfind(L"\\\\", 0) != 0) return L"\\\\?\\" + full;
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
}
}  // namespace

std::string platform_system_name(const char* name) {
    std::string utf8;
    to_utf8(system_name(name).c_str(), utf8);
    return utf8;
}

std::FILE* platform_open(const char* name, int& err) {
    const std::wstring wname = system_name(name);
    if (wname.empty()) {
        err = ENOENT;
        return nullptr;
    }
    // msvcrt refuses a directory with EACCES; say what it really is.
    const DWORD attributes = GetFileAttributesW(wname.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        err = EISDIR;
        return nullptr;
    }
    std::FILE* f = _wfopen(wname.c_str(), L"rb");
    if (f == nullptr) err = errno;
    return f;
}

int platform_seek(std::FILE* f, std::int64_t offset, int whence) {
    return _fseeki64(f, offset, whence);
}

std::int64_t platform_tell(std::FILE* f) {
    return _ftelli64(f);
}

file_kind platform_file_kind(std::FILE* f) {
    struct _stat64 info {};
    if (_fstat64(_fileno(f), &info) != 0) return file_kind::unknown;
    if ((info.st_mode & _S_IFMT) == _S_IFREG) return file_kind::measurable;
    if ((info.st_mode & _S_IFMT) == _S_IFDIR) return file_kind::directory;
    if ((info.st_mode & _S_IFMT) == _S_IFIFO) return file_kind::fifo;
    return file_kind::char_device;  // the console, NUL, COM ports
}

file_kind platform_name_kind(const char* /*name*/) {
    return file_kind::unknown;  // directories are told apart by the open
}

int platform_write_error(std::FILE* f, int err) {
    // msvcrt maps the system's word for a pipe whose reader has gone
    // (ERROR_NO_DATA on Windows, ERROR_PIPE_NOT_CONNECTED under Wine) to
    // EINVAL, and after a large write the system's own code may be gone. Our
    // writes carry no invalid argument, so on a pipe that is what it means.
    if (f == nullptr) return err;
    auto* const h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    const bool pipe = h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_PIPE;
    return err == EINVAL && pipe ? EPIPE : err;
}

// msvcrt declares no unlocked fread; its block reads are large copies anyway.
std::size_t platform_read(void* dst, std::size_t n, std::FILE* f) {
    return std::fread(dst, 1, n, f);
}

int platform_getc(std::FILE* f) {
    return _getc_nolock(f);
}

bool platform_raw_line_ends(std::FILE* f) {
    std::fflush(f);
    const int mode = _setmode(_fileno(f), _O_BINARY);
    if (mode == _O_TEXT) return true;
    if (mode != -1) _setmode(_fileno(f), mode);
    return false;
}

namespace {
// The console behind the stream, or null when it is none: _isatty is true
// for every character device, NUL included.
HANDLE console_of(std::FILE* f) {
    auto* const h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0 ? h : nullptr;
}
}  // namespace

bool platform_is_terminal(std::FILE* f) {
    return console_of(f) != nullptr;
}

void platform_put_line(std::FILE* f, const char* line) {
    HANDLE const console = console_of(f);
    std::wstring text;
    if (console != nullptr && to_wide(line, text)) {
        std::fflush(f);
        DWORD written = 0;
        WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::fputs(line, f);
}

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

std::int64_t platform_read_some(int fd, void* dst, std::size_t n) {
    const int got = _read(fd, dst, static_cast<unsigned>(n < 0x40000000 ? n : 0x40000000));
    // Ctrl-C ends a console's read as if its input had ended, and the
    // handler runs on a thread of its own, maybe just after: a console's
    // end waits for it a moment, so that the run ends as interrupted.
    DWORD mode = 0;
    auto* const h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (got == 0 && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0) {
        for (int i = 0; i < 40 && stop_signal == 0; ++i) Sleep(5);
        if (stop_signal != 0) {
            errno = EINTR;
            return -1;
        }
    }
    return got;
}

double platform_seconds() {
    LARGE_INTEGER count{};
    LARGE_INTEGER rate{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&rate);
    return static_cast<double>(count.QuadPart) / static_cast<double>(rate.QuadPart);
}

int platform_stdin_binary() {
    _setmode(0, _O_BINARY);
    return 0;
}

int platform_fd(std::FILE* f) {
    return _fileno(f);
}

std::FILE* platform_connect(const char* /*name*/, int& err) {
    err = ENXIO;  // such names do not come here: a socket does not open as a file
    return nullptr;
}

// A serial port on Windows is no console and needs no raw mode; a console
// named as FILE is read as it is.
bool platform_terminal_raw(int /*fd*/) {
    return false;
}

void platform_terminal_restore(int /*fd*/) {}

std::FILE* platform_open_write(const char* name, bool append, int& err) {
    const std::wstring wname = system_name(name);
    if (wname.empty()) {
        err = ENOENT;
        return nullptr;
    }
    // Text mode, as standard output has: the console writes its lines in CR LF.
    std::FILE* f = _wfopen(wname.c_str(), append ? L"a" : L"w");
    if (f == nullptr) err = errno;
    return f;
}

std::int64_t platform_name_size(const char* name) {
    const std::wstring wname = system_name(name);
    struct _stat64 info {};
    return !wname.empty() && _wstat64(wname.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size)
                                                                 : -1;
}

double platform_utc_seconds() {
    FILETIME t{};
    GetSystemTimePreciseAsFileTime(&t);
    // 100 ns steps since 1601-01-01; 11644473600 s before 1970.
    const std::uint64_t steps = (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
    return static_cast<double>(steps) * 1e-7 - 11644473600.0;
}
