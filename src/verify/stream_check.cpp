#include "stream_check.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform.hpp"
#include "stream_report.hpp"
#include "word_check.hpp"

namespace {
// Reads ask for up to this much: few calls on a fast file, and whatever has
// arrived on a slow pipe.
constexpr std::size_t read_size = std::size_t{1} << 20;
alignas(64) std::uint8_t read_buffer[read_size];

// Lines found are handed on at least this often when nobody sees them at
// once, and the progress line is renewed as often.
constexpr double interval = 1.0;
}  // namespace

stream_result stream_check(const char* name, const stream_options& opt, console& out) {
    static shown_name shown;  // 8 KiB: not on the stack
    shown = show_name(name);
    static stream_report r;
    report_begin(r, opt, out, shown.text);

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
    static word_state w;
    // The events show only in JSON and with --explain.
    word_start(w, opt.fmt, opt.any_start, opt.skip, opt.skip_given, opt.json || opt.explain);
    if (fd < 0) {
        const char* reason = std::strerror(err);
        report_trouble(r, reason);
        report_end(r, w, false, false, reason);
        return stream_result::trouble;
    }

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
                report_progress(r, w, last_flush);
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
        word_feed(w, read_buffer, static_cast<std::size_t>(got), r);
        const double now = platform_seconds();
        if (now - last_flush >= interval) {
            console_finish(out);
            last_flush = now;
        }
        if (opt.progress && now - last_progress >= interval) {
            report_progress(r, w, now);
            last_progress = now;
        }
    }
    if (f != nullptr) std::fclose(f);
    word_end(w, r);
    clear_progress(r);
    if (out.failed) return stream_result::trouble;
    // No word compared: a gate must not pass a link that sent nothing, or
    // one word alone.
    const bool unchecked = error == nullptr && !interrupted && w.checked == 0;
    if (unchecked) error = word_bytes(w) == 0 ? "empty: nothing was checked" : "too short: nothing was checked";
    if (error != nullptr) report_trouble(r, error);
    report_end(r, w, error == nullptr || unchecked, interrupted, error);
    if (interrupted) return stream_result::interrupted;
    if (error != nullptr) return stream_result::trouble;
    return w.error != 0 ? stream_result::breaks : stream_result::clean;
}
