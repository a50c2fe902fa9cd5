#include "limits.hpp"

#include <algorithm>
#include <cmath>

#include "verify/console.hpp"

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

int wait_ms(const stream_times& t, const stream_options& opt, double now) {
    double until = t.last_flush + hand_on;
    if (opt.interval > 0) until = std::min(until, t.next_record);
    if (opt.duration > 0) until = std::min(until, t.start + opt.duration);
    if (opt.idle_timeout > 0) until = std::min(until, t.last_data + opt.idle_timeout);
    return static_cast<int>(std::clamp(std::ceil((until - now) * 1000), 0.0, 1000.0));
}

double limit_deadline(const stream_times& t, const stream_options& opt) {
    double until = 1e300;
    if (opt.duration > 0) until = std::min(until, t.start + opt.duration);
    if (opt.idle_timeout > 0) until = std::min(until, t.last_data + opt.idle_timeout);
    return until;
}
