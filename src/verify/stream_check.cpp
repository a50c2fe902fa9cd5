#include "stream_check.hpp"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform.hpp"
#include "stream_report.hpp"
#include "word_check.hpp"

namespace {
// Reads ask for up to this much: few calls on a fast file, and whatever has
// arrived on a slow pipe. A buffer that stays in the processor's cache is
// as fast as a larger one, and 768 KiB less resident than 1 MiB.
constexpr std::size_t read_size = std::size_t{1} << 18;
alignas(64) std::uint8_t read_buffer[read_size];

// Lines found are handed on at least this often when nobody sees them at
// once, and the progress line is renewed as often.
constexpr double hand_on = 1.0;

// The times of one stream's read, on the monotonic clock.
struct stream_times {
    double start = 0;      // the first read
    double last_data = 0;  // the last byte
    double last_flush = 0;
    double next_record = 0;  // the end of the interval under way
};

enum class due_result { go_on, done, idle };

// What is due at `now`: the hand-over, the progress line, interval records;
// and whether the duration is over or the link has been silent too long.
due_result due(stream_times& t, const stream_options& opt, stream_report& r, const word_state& w,
               double now) {
    if (now - t.last_flush >= hand_on) {
        console_finish(*r.out);
        t.last_flush = now;
    }
    if (opt.progress && now - r.progress_time >= hand_on) report_progress(r, w, now);
    if (opt.interval > 0 && now >= t.next_record) {
        report_interval(r, w, now);
        // After a long stall the next interval starts from now's.
        t.next_record = t.start + opt.interval * (std::floor((now - t.start) / opt.interval) + 1);
    }
    if (opt.duration > 0 && now - t.start >= opt.duration) return due_result::done;
    if (opt.idle_timeout > 0 && now - t.last_data >= opt.idle_timeout) return due_result::idle;
    return due_result::go_on;
}

// Milliseconds a wait at `now` may last: up to the next thing due, a second at most.
int wait_ms(const stream_times& t, const stream_options& opt, double now) {
    double until = t.last_flush + hand_on;
    if (opt.interval > 0) until = std::min(until, t.next_record);
    if (opt.duration > 0) until = std::min(until, t.start + opt.duration);
    if (opt.idle_timeout > 0) until = std::min(until, t.last_data + opt.idle_timeout);
    return static_cast<int>(std::clamp(std::ceil((until - now) * 1000), 0.0, 1000.0));
}
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
    w.break_limit = opt.max_breaks;
    if (fd < 0 && err == EINTR && platform_stop_signal() != 0) {
        // Stopped while the open waited for a lease to break: that FILE is
        // the one interrupted, and no other is read.
        report_end(r, w, true, true, nullptr);
        return stream_result::interrupted;
    }
    if (fd < 0) {
        const char* reason = std::strerror(err);
        report_trouble(r, reason);
        report_end(r, w, false, false, reason);
        return stream_result::trouble;
    }
    // A serial port named as FILE: its bytes as they come, not lines.
    const bool raw = f != nullptr && platform_terminal_raw(fd);

    static char why[128];
    const char* error = nullptr;
    bool interrupted = false;
    bool ended = false;  // by --bytes, --duration or --max-breaks: as if the stream ended there
    stream_times t;
    t.start = t.last_data = t.last_flush = platform_seconds();
    t.next_record = t.start + opt.interval;
    report_start(r, t.start);
    double now = t.start;
    while (!out.failed && !ended && error == nullptr) {
        input_state state = platform_wait_input(fd, 0);
        while (state == input_state::idle) {
            // Nothing to read yet: what was found is handed on before the wait.
            console_finish(out);
            now = platform_seconds();
            t.last_flush = now;
            const due_result d = due(t, opt, r, w, now);
            if (d == due_result::idle) {
                std::memcpy(put_seconds(std::copy_n("no data for ", 12, why), opt.idle_timeout, true), " s",
                            3);
                error = why;
            }
            if (d != due_result::go_on) break;
            state = platform_wait_input(fd, wait_ms(t, opt, now));
        }
        if (state == input_state::stopped) {
            interrupted = true;
            break;
        }
        if (state == input_state::idle) {
            ended = error == nullptr;
            break;
        }
        const std::uint64_t left = opt.byte_limit - word_bytes(w);
        errno = 0;
        const std::int64_t got =
            left == 0
                ? 0
                : platform_read_some(fd, read_buffer,
                                     static_cast<std::size_t>(std::min<std::uint64_t>(left, read_size)));
        // The clock is read once a read, never a byte.
        now = r.now = platform_seconds();
        if (got < 0 && platform_stop_signal() != 0) {
            interrupted = true;
            break;
        }
        if (got <= 0) {
            if (got < 0) error = std::strerror(errno != 0 ? errno : EIO);
            ended = left == 0;
            break;
        }
        t.last_data = now;
        word_feed(w, read_buffer, static_cast<std::size_t>(got), r);
        ended = w.stopped || word_bytes(w) == opt.byte_limit;
        if (due(t, opt, r, w, now) == due_result::done) ended = true;
    }
    r.now = now;
    if (raw) platform_terminal_restore(fd);
    if (f != nullptr) std::fclose(f);
    word_end(w, r);
    clear_progress(r);
    if (out.failed) return stream_result::trouble;
    // A stream that ended before the limits asked for it to is trouble: a
    // soak asked to last an hour did not.
    if (error == nullptr && !interrupted && !ended) {
        if (opt.byte_limit != UINT64_MAX) {
            std::snprintf(why, sizeof why, "ended after %" PRIu64 " of %" PRIu64 " bytes", word_bytes(w),
                          opt.byte_limit);
            error = why;
        } else if (opt.duration > 0) {
            char* p = put_seconds(std::copy_n("ended after ", 12, why), now - t.start, false);
            std::memcpy(put_seconds(std::copy_n(" of ", 4, p), opt.duration, true), " s", 3);
            error = why;
        }
    }
    // No word compared: a gate must not pass a link that sent nothing, or
    // one word alone.
    const bool unchecked = error == nullptr && !interrupted && w.checked == 0;
    if (unchecked)
        error = word_bytes(w) == 0 ? "empty: nothing was checked" : "too short: nothing was checked";
    const bool read = error == nullptr || unchecked || error == why;  // what was read is summed up
    if (error != nullptr) report_trouble(r, error);
    if (opt.interval > 0 && now > r.record_start) report_interval(r, w, now);
    report_end(r, w, read, interrupted, error);
    if (interrupted) return stream_result::interrupted;
    if (error != nullptr) return stream_result::trouble;
    return w.error != 0 ? stream_result::breaks : stream_result::clean;
}
