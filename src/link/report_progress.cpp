#include <cinttypes>
#include <cstdio>

#include "report.hpp"
#include "report_format.hpp"
#include "verify/platform.hpp"

void clear_progress(stream_report& r) {
    if (!r.progress_shown) return;
    platform_put_line(r.out->diagnostics, "\r\x1b[K");
    r.progress_shown = false;
}

void report_progress(stream_report& r, const word_state& w, double now) {
    char* const line = r.progress_line;
    const std::uint64_t bytes = r.prbs != nullptr ? r.prbs->fed : word_bytes(w);
    // A PRBS counts its bit errors, a counter its breaks.
    const std::uint64_t faults = r.prbs != nullptr ? r.prbs->bit_errors : w.error;
    const char* noun =
        r.prbs != nullptr ? (faults == 1 ? "bit error" : "bit errors") : (faults == 1 ? "break" : "breaks");
    const double mb_s = rate(bytes - r.progress_bytes, now - r.progress_time) / 1e6;
    std::snprintf(line, sizeof r.progress_line,
                  "%s%s: %.*s: %.1f s, %" PRIu64 " bytes, %.1f MB/s, %" PRIu64 " %s%s",
                  r.terminal ? "\r" : "", r.out->program, static_cast<int>(r.shown.size()), r.shown.data(),
                  now - r.start, bytes, mb_s, faults, noun, r.terminal ? "\x1b[K" : "\n");
    platform_put_line(r.out->diagnostics, line);
    r.progress_shown = r.terminal;
    r.progress_time = now;
    r.progress_bytes = bytes;
}

void clear_progress_for_report(stream_report& r) {
    if (r.shared) clear_progress(r);
}
