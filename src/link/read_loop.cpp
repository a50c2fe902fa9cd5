// The read loop of one stream: open, wait, read what has come, feed the
// word rule, hand on what is due, end at the end or at a limit.
#include "check.hpp"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "limits.hpp"
#include "report.hpp"
#include "report_format.hpp"
#include "state.hpp"
#include "verify/platform.hpp"

namespace {
// A silence from `since` to `now` of --stall seconds or more: a stall event
// where the next byte is.
void tell_stall(word_state& w, stream_report& r, const stream_options& opt, double since, double now) {
    if (opt.stall <= 0 || now - since < opt.stall) return;
    word_event e;
    e.kind = event_kind::stall;
    e.pos = word_bytes(w) + 1;
    e.seconds = now - since;
    e.since = since;
    ++w.seq.counts.stall;
    r.on_event(e);
}
}  // namespace

stream_result stream_check(link_check& c, const char* name, const stream_options& opt, console& out) {
    c.shown = show_name(name);
    stream_report& r = c.r;
    report_begin(r, opt, out, c.shown.text);

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
    word_state& w = c.w;
    prbs_state& p = c.p;
    const bool prbs = opt.prbs_on;
    if (prbs) {
        prbs_start(p, opt.prbs, opt.skip, prbs_sink{&r, prbs_report_line});
        r.prbs = &p;
    }
    // Bytes taken so far, the skipped ones included.
    const auto taken = [&] { return prbs ? p.fed : word_bytes(w); };
    c.head_len = 0;
    // The events show only in JSON and with --explain.
    word_start(w, opt.fmt, opt.any_start, opt.skip, opt.skip_given, opt.json || opt.explain, opt.lock);
    w.break_limit = opt.max_breaks;
    if (opt.first_given) {  // the word before the first is the one before V
        w.Word_alt = (opt.first - 1) & w.mask;
        w.take_next = false;
    }
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

    char* const why = c.why;
    const char* error = nullptr;
    bool interrupted = false;
    bool ended = false;  // by --bytes, --duration or --max-breaks: as if the stream ended there
    stream_times t;
    t.start = t.last_data = t.last_flush = platform_seconds();
    t.next_record = t.start + opt.interval;
    report_start(r, t.start);
    double now = t.start;
    const bool limited = opt.duration > 0 || opt.idle_timeout > 0;
    while (!out.failed && !ended && error == nullptr) {
        // A write of the report that blocks past a limit is ended too.
        if (limited) platform_arm_limit(limit_deadline(t, opt) - now);
        input_state state = platform_wait_input(fd, 0);
        while (state == input_state::idle) {
            // Nothing to read yet: what was found is handed on before the wait.
            console_finish(out);
            now = platform_seconds();
            t.last_flush = now;
            const due_result d = due(t, opt, r, w, now);
            if (d == due_result::idle) {
                std::snprintf(why, sizeof c.why, "no data for %s s", opt.idle_text);
                error = why;
            }
            if (d != due_result::go_on) break;
            state = platform_wait_input(fd, wait_ms(t, opt, now));
        }
        if (state == input_state::stopped) {
            now = platform_seconds();  // the stop's time, not the last read's
            interrupted = true;
            break;
        }
        if (state == input_state::idle) {
            ended = error == nullptr;
            break;
        }
        const std::uint64_t left = opt.byte_limit - taken();
        errno = 0;
        const std::int64_t got =
            left == 0 ? 0
                      : platform_read_some(
                            fd, c.buffer, static_cast<std::size_t>(std::min<std::uint64_t>(left, read_size)));
        // The clock is read once a read, never a byte.
        now = r.now = platform_seconds();
        if (got < 0 && platform_stop_signal() != 0) {
            interrupted = true;
            break;
        }
        // Another reader took what the wait saw: wait again.
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (got <= 0) {
            if (got < 0) error = std::strerror(errno != 0 ? errno : EIO);
            ended = left == 0;
            break;
        }
        if (c.head_len < hint_bytes) {
            const std::size_t k = std::min(hint_bytes - c.head_len, static_cast<std::size_t>(got));
            std::copy_n(c.buffer, k, c.head + c.head_len);
            c.head_len += k;
        }
        tell_stall(w, r, opt, t.last_data, now);
        t.last_data = now;
        if (prbs)
            prbs_feed(p, c.buffer, static_cast<std::size_t>(got), static_cast<std::uint64_t>(now - t.start));
        else
            word_feed(w, c.buffer, static_cast<std::size_t>(got), r);
        ended = w.stopped || taken() == opt.byte_limit;
        if (due(t, opt, r, w, now) == due_result::done) ended = true;
    }
    r.now = now;
    if (raw) platform_terminal_restore(fd);
    if (f != nullptr) std::fclose(f);
    if (!interrupted && error == nullptr) tell_stall(w, r, opt, t.last_data, now);
    if (prbs)
        prbs_end(p);
    else
        word_end(w, r);
    if (!prbs && w.error != 0)
        r.hint = find_hint(c.head, c.head_len, opt.fmt, opt.skip,
                           opt.any_start || (opt.skip_given && !opt.first_given),
                           opt.first_given ? (opt.first - 1) & w.mask : 0);
    clear_progress(r);
    if (out.failed) return stream_result::trouble;
    // A stream that ended before the limits asked for it to is trouble: a
    // soak asked to last an hour did not.
    if (error == nullptr && !interrupted && !ended) {
        if (opt.byte_limit_given) {
            std::snprintf(why, sizeof c.why, "ended after %" PRIu64 " of %" PRIu64 " bytes", taken(),
                          opt.byte_limit);
            error = why;
        } else if (opt.duration > 0) {
            char* end = put_seconds(std::copy_n("ended after ", 12, why), now - t.start, false);
            std::snprintf(end, sizeof c.why - static_cast<std::size_t>(end - why), " of %s s",
                          opt.duration_text);
            error = why;
        }
    }
    // No word compared: a gate must not pass a link that sent nothing, or
    // one word alone.
    const bool unchecked = error == nullptr && !interrupted && (prbs ? !p.ever_synced : w.checked == 0);
    if (unchecked) {
        error = taken() == 0 ? "empty: nothing was checked" : "too short: nothing was checked";
        // A PRBS long enough for a sync that has none is not that pattern.
        if (prbs && p.read_bits >= p.n + 64) {
            std::snprintf(why, sizeof c.why, "no %.*s found in %" PRIu64 " bytes",
                          static_cast<int>(prbs_patterns[p.fmt.pattern].name.size()),
                          prbs_patterns[p.fmt.pattern].name.data(), taken());
            error = why;
        }
    }
    const bool read = error == nullptr || unchecked || error == why;  // what was read is summed up
    if (error != nullptr) report_trouble(r, error);
    // A FILE that could not be read at all has no record.
    if (opt.interval > 0 && now > r.record_start && (read || taken() > 0)) report_interval(r, w, now);
    report_end(r, w, read, interrupted, error);
    if (interrupted) return stream_result::interrupted;
    if (error != nullptr) return stream_result::trouble;
    const bool faults = prbs ? p.bit_errors != 0 || p.sync_losses != 0 : w.error != 0;
    return faults ? stream_result::breaks : stream_result::clean;
}
