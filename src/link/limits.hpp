// The clock of one stream's read and the limits that end it: the hand-over
// of the lines found, the progress line and the interval records that fall
// due, --duration and --idle-timeout.
#pragma once

#include "check.hpp"
#include "report.hpp"

// Lines found are handed on at least this often when nobody sees them at
// once, and the progress line is renewed as often.
inline constexpr double hand_on = 1.0;

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
due_result due(stream_times& t, const stream_options& opt, stream_report& r, const word_state& w, double now);

// Milliseconds a wait at `now` may last: up to the next thing due, a second at most.
int wait_ms(const stream_times& t, const stream_options& opt, double now);

// When --duration or --idle-timeout ends the read as it stands: the earlier
// of the two (a huge number where neither is set).
double limit_deadline(const stream_times& t, const stream_options& opt);
