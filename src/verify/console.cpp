#include "console.hpp"

#include <unistd.h>
#include <cerrno>
#include <cstdarg>
#include <cstring>

void console_open(console& out, std::FILE* stream) {
    out.stream = stream;
    out.per_line = isatty(fileno(stream)) != 0;
    out.failed = false;
    out.err = 0;
    out.len = 0;
}

void console_flush(console& out) {
    if (out.len == 0) return;
    if (!out.failed && out.stream != nullptr) {
        errno = 0;
        if (std::fwrite(out.buf, 1, out.len, out.stream) != out.len) {
            out.failed = true;
            out.err = errno != 0 ? errno : EIO;
        }
    }
    // After a failure the staged bytes are dropped: the run is ending anyway.
    out.len = 0;
}

void console_put(console& out, std::string_view text) {
    char* p = console_reserve(out);
    std::memcpy(p, text.data(), text.size());
    console_commit(out, p + text.size());
}

bool console_finish(console& out) {
    console_flush(out);
    if (!out.failed) {
        errno = 0;
        if (std::fflush(out.stream) != 0 || std::ferror(out.stream) != 0) {
            out.failed = true;
            out.err = errno != 0 ? errno : EIO;
        }
    }
    return !out.failed;
}

bool console_close(console& out) {
    bool ok = console_finish(out);
    errno = 0;
    if (std::fclose(out.stream) != 0 && ok) {
        ok = false;
        out.failed = true;
        out.err = errno != 0 ? errno : EIO;
    }
    out.stream = nullptr;
    return ok;
}

void complain(console& out, const char* fmt, ...) {
    // Formatted first, so that the message goes out in one piece.
    char message[8192];
    va_list args;
    va_start(args, fmt);
    // clang-analyzer 14 does not see va_start through std:: and reports a false
    // "uninitialized va_list" here.
    std::vsnprintf(message, sizeof message, fmt, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(args);
    if (out.stream != nullptr) {
        console_flush(out);
        std::fflush(out.stream);
    }
    std::fprintf(stderr, "ctrcheck: %s\n", message);
}
