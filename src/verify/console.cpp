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
        // glibc can count a write that failed as made: the error flag tells.
        if (std::fwrite(p, 1, n, out.stream) != n || std::ferror(out.stream) != 0) record_failure(out);
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
    if (!console_close(out)) {
        complain(out, "write error: %s", std::strerror(out.err));
        status = trouble;
    }
    if (const int sig = platform_stop_signal()) platform_end_by_signal(sig);
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

namespace {
// The letter of a C escape for byte b, or 0 where there is none.
char escape_letter(unsigned char b) {
    switch (b) {
        case '\a':
            return 'a';
        case '\b':
            return 'b';
        case '\t':
            return 't';
        case '\n':
            return 'n';
        case '\v':
            return 'v';
        case '\f':
            return 'f';
        case '\r':
            return 'r';
        default:
            return 0;
    }
}

// Length of the well-formed UTF-8 character at c (1 to 4), or 0 where c
// starts none: a stray continuation byte, an over-long form, a surrogate,
// a code point past U+10FFFF, or a sequence cut short.
int utf8_length(const unsigned char* c) {
    if (*c < 0x80) return 1;
    // The range the second byte must lie in, by lead byte; the bytes after it
    // are always 80..BF.
    unsigned char lo = 0x80;
    unsigned char hi = 0xbf;
    int n = 0;
    if (*c >= 0xc2 && *c <= 0xdf) {
        n = 2;
    } else if (*c >= 0xe0 && *c <= 0xef) {
        n = 3;
        if (*c == 0xe0) lo = 0xa0;  // over-long below it
        if (*c == 0xed) hi = 0x9f;  // surrogates above it
    } else if (*c >= 0xf0 && *c <= 0xf4) {
        n = 4;
        if (*c == 0xf0) lo = 0x90;
        if (*c == 0xf4) hi = 0x8f;  // past U+10FFFF above it
    } else {
        return 0;
    }
    if (c[1] < lo || c[1] > hi) return 0;
    for (int k = 2; k < n; ++k)
        if (c[k] < 0x80 || c[k] > 0xbf) return 0;
    return n;
}
}  // namespace

shown_name show_name(const char* name) {
    shown_name shown{};
    // The longest piece (a three-byte character escaped, 12 bytes) and then
    // "..." and the 0 always fit.
    constexpr std::size_t room = sizeof shown.text - 16;
    static const char hex[] = "0123456789abcdef";
    char* p = shown.text;
    for (const auto* c = reinterpret_cast<const unsigned char*>(name); *c != 0;) {
        if (static_cast<std::size_t>(p - shown.text) >= room) {
            // Cut between characters, never inside one.
            std::memcpy(p, "...", 3);
            p += 3;
            break;
        }
        const int n = utf8_length(c);
        // A C1 control is two bytes in UTF-8: C2 80 to C2 9F. It is escaped
        // whole, as is any byte that is not part of a well-formed character,
        // and so are the characters that can reorder or break the line they
        // stand in: the line and paragraph separators, U+2028 and U+2029
        // (E2 80 A8/A9), the bidirectional controls U+202A to U+202E
        // (E2 80 AA..AE) and U+2066 to U+2069 (E2 81 A6..A9), and the
        // bidirectional marks U+200E and U+200F (E2 80 8E/8F) and U+061C
        // (D8 9C), which change how neutral characters beside them run.
        const bool control =
            *c < 0x20 || *c == 0x7f || (n == 2 && *c == 0xc2 && c[1] <= 0x9f) ||
            (n == 2 && *c == 0xd8 && c[1] == 0x9c) ||
            (n == 3 && *c == 0xe2 &&
             ((c[1] == 0x80 && ((c[2] >= 0xa8 && c[2] <= 0xae) || c[2] == 0x8e || c[2] == 0x8f)) ||
              (c[1] == 0x81 && c[2] >= 0xa6 && c[2] <= 0xa9)));
        if (n > 0 && !control) {
            std::memcpy(p, c, static_cast<std::size_t>(n));
            p += n;
            c += n;
        } else if (const char letter = escape_letter(*c)) {
            *p++ = '\\';
            *p++ = letter;
            ++c;
        } else {
            for (int k = 0; k < (n > 0 ? n : 1); ++k, ++c) {
                *p++ = '\\';
                *p++ = 'x';
                *p++ = hex[*c >> 4];
                *p++ = hex[*c & 15];
            }
        }
    }
    *p = '\0';
    return shown;
}
