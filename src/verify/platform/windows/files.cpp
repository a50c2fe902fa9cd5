// Windows files: long paths in the \\?\ form, msvcrt's 64-bit seek and
// stat, its reads, and a console read that Ctrl-C ends.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "internal.hpp"
#include "verify/platform.hpp"

// The name handed to the system for `name`: past MAX_PATH only the \\?\ form
// of the full path opens, whatever the system's long-path setting, and it is
// the full path's length that counts, not the length of the name as typed
// (a short relative name in a deep folder is long too). Shorter paths keep
// their ordinary form, so that device names such as NUL stay devices. Empty
// when the name is empty or not valid UTF-8.
std::wstring win::system_name(const char* name) {
    std::wstring wname;
    if (*name == '\0' || !win::to_wide(name, wname)) return {};
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

std::string platform_system_name(const char* name) {
    std::string utf8;
    win::to_utf8(win::system_name(name).c_str(), utf8);
    return utf8;
}

std::FILE* platform_open(const char* name, int& err) {
    const std::wstring wname = win::system_name(name);
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

const std::uint8_t* platform_read_in_place(std::FILE*, std::size_t) {
    return nullptr;  // the CRT does not show its buffer
}

int platform_getc(std::FILE* f) {
    return _getc_nolock(f);
}

std::int64_t platform_read_some(int fd, void* dst, std::size_t n) {
    const int got = _read(fd, dst, static_cast<unsigned>(n < 0x40000000 ? n : 0x40000000));
    // Ctrl-C ends a console's read as if its input had ended, and the
    // handler runs on a thread of its own, maybe just after: a console's
    // end waits for it a moment, so that the run ends as interrupted.
    DWORD mode = 0;
    auto* const h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (got == 0 && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0) {
        for (int i = 0; i < 40 && platform_stop_signal() == 0; ++i) Sleep(5);
        if (platform_stop_signal() != 0) {
            errno = EINTR;
            return -1;
        }
    }
    return got;
}

int platform_stdin_binary() {
    _setmode(0, _O_BINARY);
    return 0;
}

int platform_fd(std::FILE* f) {
    return _fileno(f);
}

std::FILE* platform_open_write(const char* name, bool append, int& err) {
    const std::wstring wname = win::system_name(name);
    if (wname.empty()) {
        err = ENOENT;
        return nullptr;
    }
    // Text mode, as standard output has: the console writes its lines in CR
    // LF. Appending either way: platform_empty_file empties it, if asked.
    (void)append;
    std::FILE* f = _wfopen(wname.c_str(), L"a");
    if (f == nullptr) err = errno;
    return f;
}

std::int64_t platform_name_size(const char* name) {
    const std::wstring wname = win::system_name(name);
    struct _stat64 info {};
    return !wname.empty() && _wstat64(wname.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size)
                                                                 : -1;
}

bool platform_empty_file(std::FILE* f, int& err) {
    std::fflush(f);
    auto* const h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK) return true;
    err = _chsize_s(_fileno(f), 0);
    return err == 0;
}

namespace {
// The volume and the file number of an open file, or false.
bool file_id(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
    return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(h, &info);
}
}  // namespace

bool platform_same_file(const char* name, std::FILE* f) {
    BY_HANDLE_FILE_INFORMATION out{};
    if (!file_id(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))), out)) return false;
    BY_HANDLE_FILE_INFORMATION in{};
    bool got = false;
    if (std::strcmp(name, "-") == 0) {
        got = file_id(reinterpret_cast<HANDLE>(_get_osfhandle(0)), in);
    } else {
        const std::wstring wname = win::system_name(name);
        HANDLE h = wname.empty()
                       ? INVALID_HANDLE_VALUE
                       : CreateFileW(wname.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        got = file_id(h, in);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    return got && in.dwVolumeSerialNumber == out.dwVolumeSerialNumber &&
           in.nFileIndexHigh == out.nFileIndexHigh && in.nFileIndexLow == out.nFileIndexLow;
}
