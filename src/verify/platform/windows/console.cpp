// Windows consoles: a console takes Unicode text of its own, and a
// text-mode stream gets its CR LF from the tool.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "internal.hpp"
#include "verify/platform.hpp"

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

// A process has one console at most.
bool platform_same_terminal(std::FILE* a, std::FILE* b) {
    return console_of(a) != nullptr && console_of(b) != nullptr;
}

void platform_put_line(std::FILE* f, const char* line) {
    HANDLE const console = console_of(f);
    std::wstring text;
    if (console != nullptr && win::to_wide(line, text)) {
        std::fflush(f);
        DWORD written = 0;
        WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::fputs(line, f);
}

// A serial port on Windows is no console and needs no raw mode; a console
// named as FILE is read as it is.
bool platform_terminal_raw(int /*fd*/) {
    return false;
}

void platform_terminal_restore(int /*fd*/) {}
