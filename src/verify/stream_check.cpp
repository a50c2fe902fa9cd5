#include "stream_check.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "continuity_check.hpp"
#include "platform.hpp"
#include "run_state.hpp"

namespace {
// Reads ask for up to this much: few calls on a fast file, and whatever has
// arrived on a slow pipe.
constexpr std::size_t read_size = std::size_t{1} << 20;
alignas(64) std::uint8_t read_buffer[read_size];

// Breaks a JSON object lists when no limit is given.
constexpr std::uint64_t json_breaks = 10;

// Lines found are handed on at least this often when nobody sees them at
// once, and the progress line is renewed as often.
constexpr double interval = 1.0;

struct stream_run {
    const stream_options& opt;
    console& out;
    std::string_view shown;       // the name as it is shown
    std::uint64_t limit = 0;      // break lines to write, or breaks to list
    std::uint64_t listed = 0;     // so far
    bool terminal = false;        // stderr is a terminal: progress stays on one line
    bool progress_shown = false;  // a progress line stands there now
    bool plain = false;           // break lines as ctrcheck writes them, nothing before them
    double start = 0;
};

void append_u64(console& out, std::uint64_t v) {
    char text[20];
    console_append(
        out, std::string_view(text, static_cast<std::size_t>(std::to_chars(text, text + 20, v).ptr - text)));
}

// A JSON string of `s`, which is valid UTF-8 without control characters (a
// shown name, a system message): only quotes and backslashes need escapes.
void append_json_string(console& out, std::string_view s) {
    console_append(out, "\"");
    for (std::size_t i = 0; (i = s.find_first_of("\"\\")) != std::string_view::npos; s.remove_prefix(i + 1)) {
        console_append(out, s.substr(0, i));
        const char escaped[2] = {'\\', s[i]};
        console_append(out, std::string_view(escaped, 2));
    }
    console_append(out, s);
    console_append(out, "\"");
}

// Takes the progress line off the terminal before anything else is written there.
void clear_progress(stream_run& r) {
    if (!r.progress_shown) return;
    platform_put_line(r.out.diagnostics, "\r\x1b[K");
    r.progress_shown = false;
}

void show_progress(stream_run& r, const run_state& st, double now) {
    static char line[sizeof(shown_name) + 128];
    const double seconds = now - r.start;
    const double rate = seconds > 0 ? static_cast<double>(st.l_counter) / seconds / 1048576 : 0;
    std::snprintf(line, sizeof line, "%s%s: %.*s: %" PRIu64 " bytes, %.1f MiB/s, %" PRId64 " %s%s",
                  r.terminal ? "\r" : "", r.out.program, static_cast<int>(r.shown.size()), r.shown.data(),
                  st.l_counter, rate, st.error, st.error == 1 ? "break" : "breaks",
                  r.terminal ? "\x1b[K" : "\n");
    platform_put_line(r.out.diagnostics, line);
    r.progress_shown = r.terminal;
}

void report_break(stream_run& r, const run_state& st) {
    if (r.listed >= r.limit) return;
    console& out = r.out;
    if (r.opt.json) {
        char text[64] = ",{\"pos\":";
        char* p = std::to_chars(text + 8, text + 28, st.l_counter).ptr;
        p = std::copy_n(",\"alt\":", 7, p);
        p = std::to_chars(p, p + 3, st.Byte_alt).ptr;
        p = std::copy_n(",\"neu\":", 7, p);
        p = std::to_chars(p, p + 3, st.Byte_neu).ptr;
        *p++ = '}';
        const std::size_t skip = r.listed == 0 ? 1 : 0;  // no comma before the first
        console_append(out, std::string_view(text + skip, static_cast<std::size_t>(p - text) - skip));
    } else {
        clear_progress(r);
        if (r.opt.prefix) {
            console_append(out, r.shown);
            console_append(out, ": ");
        }
        detail::emit_break(st, out);
    }
    ++r.listed;
}

// "<name>: <N> bytes, <M> breaks", or the rest of the JSON object. A
// stream not read to its end (`whole` false) has no summary line.
void report_end(stream_run& r, const run_state& st, bool whole, bool interrupted, const char* error) {
    console& out = r.out;
    const auto bytes = st.l_counter;
    const auto breaks = static_cast<std::uint64_t>(st.error);
    if (r.opt.json) {
        console_append(out, "],\"bytes\":");
        append_u64(out, bytes);
        console_append(out, ",\"breaks\":");
        append_u64(out, breaks);
        console_append(out,
                       interrupted ? R"(,"interrupted":true,"error":)" : R"(,"interrupted":false,"error":)");
        if (error != nullptr)
            append_json_string(out, error);
        else
            console_append(out, "null");
        console_put(out, "}\n");
        return;
    }
    if (!whole) return;
    console_append(out, r.shown);
    console_append(out, ": ");
    append_u64(out, bytes);
    console_append(out, bytes == 1 ? " byte, " : " bytes, ");
    append_u64(out, breaks);
    console_append(out, breaks == 1 ? " break" : " breaks");
    console_put(out, interrupted ? ", interrupted\n" : "\n");
}

void trouble(stream_run& r, const char* reason) {
    clear_progress(r);
    complain(r.out, "%.*s: %s", static_cast<int>(r.shown.size()), r.shown.data(), reason);
}
}  // namespace

stream_result stream_check(const char* name, const stream_options& opt, console& out) {
    static shown_name shown;  // 8 KiB: not on the stack
    shown = show_name(name);
    stream_run r{opt, out, shown.text};
    r.limit = opt.json ? (opt.max_lines == UINT64_MAX ? json_breaks : opt.max_lines)
                       : (opt.quiet ? 0 : opt.max_lines);
    r.terminal = platform_is_terminal(out.diagnostics);
    r.plain = !opt.json && !opt.prefix && !(opt.progress && r.terminal);

    std::FILE* f = nullptr;
    int fd = -1;
    int err = 0;
    if (std::strcmp(name, "-") == 0) {
        fd = platform_stdin_binary();
    } else {
        f = platform_open(name, err);
        // A socket does not open as a file; a stream socket is connected to.
        if (f == nullptr && err == ENXIO && platform_name_kind(name) == file_kind::socket)
            f = platform_connect(name, err);
        if (f != nullptr) fd = platform_fd(f);
    }
    if (opt.json) {
        console_append(out, "{\"file\":");
        append_json_string(out, r.shown);
        console_append(out, ",\"first_breaks\":[");
    }
    run_state st;
    if (fd < 0) {
        const char* reason = std::strerror(err);
        trouble(r, reason);
        report_end(r, st, false, false, reason);
        return stream_result::trouble;
    }

    auto on_break = [&r](const run_state& s) {
        // A capture broken throughout comes here for every byte.
        if (r.listed >= r.limit) return;
        if (!r.plain) return report_break(r, s);
        ++r.listed;
        detail::emit_break(s, r.out);
    };
    bool first = opt.any_start;
    const char* error = nullptr;
    bool interrupted = false;
    r.start = platform_seconds();
    double last_flush = r.start;
    double last_progress = r.start;
    while (!out.failed) {
        input_state state = platform_wait_input(fd, 0);
        while (state == input_state::idle) {
            // Nothing to read yet: what was found is handed on before the wait.
            console_finish(out);
            last_flush = platform_seconds();
            if (opt.progress && last_flush - last_progress >= interval) {
                show_progress(r, st, last_flush);
                last_progress = last_flush;
            }
            state = platform_wait_input(fd, 1000);
        }
        if (state == input_state::stopped) {
            interrupted = true;
            break;
        }
        errno = 0;
        const std::int64_t got = platform_read_some(fd, read_buffer, read_size);
        if (got <= 0) {
            if (got < 0) error = std::strerror(errno != 0 ? errno : EIO);
            break;
        }
        const std::uint8_t* p = read_buffer;
        auto n = static_cast<std::size_t>(got);
        if (first) {
            // Mid-stream: the first byte is taken as it is.
            first = false;
            st.Byte_neu = *p++;
            st.l_counter = 1;
            --n;
        }
        continuity_scan(st, p, n, on_break);
        const double now = platform_seconds();
        if (now - last_flush >= interval) {
            console_finish(out);
            last_flush = now;
        }
        if (opt.progress && now - last_progress >= interval) {
            show_progress(r, st, now);
            last_progress = now;
        }
    }
    if (f != nullptr) std::fclose(f);
    clear_progress(r);
    if (out.failed) return stream_result::trouble;
    // Nothing arrived: a gate must not pass a link that sent nothing.
    const bool empty = error == nullptr && !interrupted && st.l_counter == 0;
    if (empty) error = "empty: nothing was checked";
    if (error != nullptr) trouble(r, error);
    report_end(r, st, error == nullptr || empty, interrupted, error);
    if (interrupted) return stream_result::interrupted;
    if (error != nullptr) return stream_result::trouble;
    return st.error != 0 ? stream_result::breaks : stream_result::clean;
}
