#include "console.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform.hpp"

namespace {
// Marks the console failed with the reason of the write or close that just
// failed; a call that failed without saying why gets EIO.
void record_failure(console& out) {
    out.failed = true;
    out.err = platform_write_error(out.stream, errno != 0 ? errno : EIO);
}
}  // namespace

void console_open(console& out, std::FILE* stream) {
    // The console is the stream's buffer: each hand-over is one write of it.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    out.stream = stream;
    out.diagnostics = stderr;
    out.per_line = platform_is_terminal(stream);
    out.crlf = platform_raw_line_ends(stream);
    out.failed = false;
    out.err = 0;
    out.len = 0;
}

void console_flush(console& out) {
    if (out.len == 0) return;
    if (!out.failed && out.stream != nullptr) {
        const char* p = out.buf;
        std::size_t n = out.len;
        static char crlf_buf[2 * console_capacity];
        if (out.crlf) {
            n = 0;
            for (std::size_t i = 0; i < out.len; ++i) {
                if (out.buf[i] == '\n') crlf_buf[n++] = '\r';
                crlf_buf[n++] = out.buf[i];
            }
            p = crlf_buf;
        }
        errno = 0;
        platform_write_begin();
        // glibc can count a write that failed as made: the error flag tells.
        const bool written = std::fwrite(p, 1, n, out.stream) == n && std::ferror(out.stream) == 0;
        platform_write_end();
        if (!written) record_failure(out);
    }
    // After a failure the staged bytes are dropped: the run is ending anyway.
    out.len = 0;
}

void console_put(console& out, std::string_view text) {
    char* p = console_reserve(out);
    std::memcpy(p, text.data(), text.size());
    console_commit(out, p + text.size());
}

void console_append(console& out, std::string_view text) {
    while (!text.empty()) {
        if (out.len == console_capacity) console_flush(out);
        const std::size_t n = std::min(text.size(), console_capacity - out.len);
        std::memcpy(out.buf + out.len, text.data(), n);
        out.len += n;
        text.remove_prefix(n);
    }
}

void console_line(console& out, std::string_view text) {
    console_append(out, text);
    if (out.per_line) console_flush(out);
}

bool console_finish(console& out) {
    console_flush(out);
    if (!out.failed) {
        errno = 0;
        if (std::fflush(out.stream) != 0 || std::ferror(out.stream) != 0) record_failure(out);
    }
    return !out.failed;
}

bool console_close(console& out) {
    bool ok = console_finish(out);
    errno = 0;
    const bool closed = std::fclose(out.stream) == 0;
    out.stream = nullptr;
    if (!closed && ok) {
        ok = false;
        record_failure(out);
    }
    return ok;
}

int console_end_run(console& out, int status, int trouble) {
    const bool written = console_close(out);
    // A stop signal ends the run by that signal, also one that cut a write
    // short where it was blocked.
    if (const int sig = platform_stop_signal()) platform_end_by_signal(sig);
    if (!written) {
        // A write that a time limit ended, not a failing disk.
        const bool cut = out.err == EINTR && platform_limit_passed();
        complain(out, "write error: %s", cut ? "blocked past the time limit" : std::strerror(out.err));
        status = trouble;
    }
    return status;
}

void complain(console& out, const char* fmt, ...) {
    // Formatted first, so that the message goes out in one piece.
    char message[12288];
    const int lead = std::snprintf(message, 64, "%s: ", out.program);
    const std::size_t prefix = lead > 0 ? std::min(static_cast<std::size_t>(lead), std::size_t{63}) : 0;
    va_list args;
    va_start(args, fmt);
    // clang-analyzer 14 does not see va_start through std:: and reports a false
    // "uninitialized va_list" here.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    const int n = std::vsnprintf(message + prefix, sizeof message - prefix - 1, fmt, args);
    va_end(args);
    const std::size_t end =
        prefix + std::min(n < 0 ? 0 : static_cast<std::size_t>(n), sizeof message - prefix - 2);
    message[end] = '\n';
    message[end + 1] = '\0';
    // Records the reason if standard output fails here, so that the final
    // report names it rather than a vaguer one.
    if (out.stream != nullptr) console_finish(out);
    platform_put_line(out.diagnostics, message);
}
