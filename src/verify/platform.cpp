#include "platform.hpp"

#include <sys/stat.h>
#include <cerrno>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#include <vector>
#else
#include <fcntl.h>
#include <unistd.h>
#endif
#if defined(__APPLE__)
#include <sys/sysctl.h>
#endif

#if defined(_WIN32)

namespace {
// msvcrt's own command-line parser, the one its startup code uses for wmain.
struct startup_info {
    int new_mode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int glob, startup_info* info);

bool to_utf8(const wchar_t* w, std::string& s) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    s.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return true;
}

bool to_wide(const char* s, std::wstring& w) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, nullptr, 0);
    if (n <= 0) return false;
    w.resize(static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, w.data(), n);
    w.resize(static_cast<std::size_t>(n - 1));
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

std::FILE* platform_open(const char* name, int& err) {
    std::wstring wname;
    if (*name == '\0' || !to_wide(name, wname)) {
        err = ENOENT;
        return nullptr;
    }
    // Past MAX_PATH only the \\?\ form of the absolute path opens, whatever
    // the system's long-path setting; shorter names keep their ordinary form,
    // so that device names such as NUL stay devices.
    if (wname.size() >= MAX_PATH - 12) {
        const DWORD n = GetFullPathNameW(wname.c_str(), 0, nullptr, nullptr);
        std::wstring full(n, L'\0');
        if (n > 0 && GetFullPathNameW(wname.c_str(), n, full.data(), nullptr) == n - 1) {
            full.resize(n - 1);
            if (full.rfind(L"\\\\", 0) != 0)
                wname = L"\\\\?\\" + full;
            else if (full.rfind(L"\\\\?\\", 0) != 0 && full.rfind(L"\\\\.\\", 0) != 0)
                wname = L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
        }
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

#else

void platform_args(int& /*argc*/, char**& /*argv*/) {}

std::FILE* platform_open(const char* name, int& err) {
    // O_NONBLOCK, so that the open of a FIFO without a writer (or of a
    // device waiting for a carrier) returns at once; the flag is cleared
    // again before anything is read.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && stat(name, &info) == 0 &&
        S_ISREG(info.st_mode)) {
        // Another process holds a lease on the file (a Samba oplock, an NFS
        // delegation): the non-blocking open is refused rather than wait for
        // the kernel to break it, which takes at most the lease-break time.
        // A regular file never blocks otherwise, so the ordinary open is safe.
        fd = open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
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

#endif

#if defined(__x86_64__) && defined(__APPLE__)
namespace {
// macOS turns the AVX-512 state on at a thread's first use of it, so the
// processor's own enable bits do not tell; the kernel's list does.
bool sysctl_flag(const char* name) {
    int value = 0;
    std::size_t size = sizeof value;
    return sysctlbyname(name, &value, &size, nullptr, 0) == 0 && value != 0;
}
}  // namespace

bool platform_cpu_has_avx2() {
    return sysctl_flag("hw.optional.avx2_0");
}

bool platform_cpu_has_avx512bw() {
    return sysctl_flag("hw.optional.avx512f") && sysctl_flag("hw.optional.avx512bw");
}
#elif defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The compiler's probe also checks that the system saves the wide registers.
bool platform_cpu_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

bool platform_cpu_has_avx512bw() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0;
}
#else
bool platform_cpu_has_avx2() {
    return false;
}
bool platform_cpu_has_avx512bw() {
    return false;
}
#endif
