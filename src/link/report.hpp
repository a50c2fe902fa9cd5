// The report of a stream's check, the one place that knows its formats: the
// break lines "<previous> <current> @ <position>" (or a line per event),
// their time stamps, the interval records, the summary, the JSON objects,
// the progress line on stderr.
#pragma once

#include <cstdint>
#include <string_view>

#include "check.hpp"
#include "counter.hpp"
#include "hint.hpp"
#include "prbs.hpp"
#include "verify/console.hpp"
#include "verify/continuity_check.hpp"
#include "verify/name_display.hpp"

// Breaks and events a JSON object lists at most, whatever -m says: the
// object is held in memory until the stream has ended, and then written
// whole in one write.
inline constexpr std::uint64_t json_listed_max = 100;
// ... and when no limit is given.
inline constexpr std::uint64_t json_breaks = 10;

struct listed_break {
    std::uint64_t pos, alt, neu;
    double time;  // when it was found
};

struct stream_report {
    const stream_options* opt = nullptr;
    console* out = nullptr;
    std::string_view shown;   // the name as it is shown
    std::uint64_t limit = 0;  // lines to write, or breaks and events to list
    std::uint64_t lines = 0;  // lines written so far
    std::uint64_t breaks_listed = 0, events_listed = 0;
    bool break_lines = false;     // the text shows break lines as found
    bool plain = false;           // ... with nothing before them and no progress line to clear
    bool terminal = false;        // stderr is a terminal: progress stays on one line
    bool shared = false;          // ... and stdout the same one: a line there clears it first
    bool progress_shown = false;  // a progress line stands there now
    double start = 0;             // the stream's first read, on the monotonic clock
    double wall_start = 0;        // ... in seconds since 1970 (UTC)
    double now = 0;               // the read whose bytes are being checked
    double record_start = 0;      // the interval under way: its start, and the
    std::uint64_t record_bytes = 0, record_breaks = 0;  // counts when it began
    event_counts record_events;
    double progress_time = 0;  // the last progress line, and the bytes then
    std::uint64_t progress_bytes = 0;
    // The first breaks and events of the stream, for its JSON object, and
    // the times they were found.
    listed_break first_breaks[json_listed_max];
    word_event first_events[json_listed_max];
    double event_times[json_listed_max];
    char progress_line[sizeof(shown_name) + 160];
    stream_hint hint;  // other options under which the stream's start is unbroken
    // A PRBS check instead of the counter's: its state, and its figures
    // when the interval under way began. Its errored words are listed in
    // first_breaks: pos, alt the bits wrong, neu their mask.
    const prbs_state* prbs = nullptr;
    std::uint64_t record_bits = 0, record_bit_errors = 0;

    // A capture broken throughout comes here for every word.
    void on_break(unsigned bytes, std::uint64_t alt, std::uint64_t neu, std::uint64_t pos) {
        if (plain && bytes == 1) {  // the common case of a stream broken throughout
            if (lines >= limit) return;
            ++lines;
            console_commit(*out, detail::format_break(console_reserve(*out), static_cast<std::uint8_t>(alt),
                                                      static_cast<std::uint8_t>(neu), pos));
            return;
        }
        note_break(alt, neu, pos);
    }
    void on_event(const word_event& e) {
        if (!break_lines) note_event(e);
    }
    void note_break(std::uint64_t alt, std::uint64_t neu, std::uint64_t pos);
    void note_event(const word_event& e);
};

// The lines of a PRBS check, for its sink: `to` is the stream_report.
void prbs_report_line(void* to, const prbs_line& l);

// The PRBS check's summary, interval record and progress line (see
// report_end, report_interval, report_progress).
void prbs_report_end(stream_report& r, bool whole, bool interrupted, const char* error);
void prbs_report_interval(stream_report& r, double now);

// Sets the report up for the stream shown as `shown`.
void report_begin(stream_report& r, const stream_options& opt, console& out, std::string_view shown);

// Starts the clocks of the stream's report at `now` (platform_seconds).
void report_start(stream_report& r, double now);

// The interval record from the last one (or the start) to `now`.
void report_interval(stream_report& r, const word_state& w, double now);

// The summary line, or the JSON object, of a stream: read to its end
// (`whole`), interrupted, or not (error names why). The text has no summary
// for a stream not read to its end.
void report_end(stream_report& r, const word_state& w, bool whole, bool interrupted, const char* error);

// "<program>: <name>: <reason>" on stderr, the progress line taken off first.
void report_trouble(stream_report& r, const char* reason);

// The progress line at time `now`: the time since the start, bytes, the
// rate since the last progress line, breaks so far.
void report_progress(stream_report& r, const word_state& w, double now);

// Takes the progress line off the terminal before anything else is written there.
void clear_progress(stream_report& r);

// The same before a line of the report, where that line goes to the same
// terminal; a report into a file or a pipe leaves the progress line be.
void clear_progress_for_report(stream_report& r);

// The JSON object of a stream (see report_end), and its interval record
// from the last one (or the start) to `now`.
void write_json(stream_report& r, const word_state& w, bool interrupted, const char* error);
void json_interval(stream_report& r, const word_state& w, double now);

// The record {"type":"event",...} of an event, written at once.
void json_event_record(stream_report& r, const word_event& e);

// The events of the interval under way: each count since it began (lost
// words net of those that came late since, at least 0).
event_counts interval_events(const stream_report& r, const word_state& w);

// Closes the interval under way at `now`, with what `w` has counted.
void next_interval(stream_report& r, const word_state& w, double now);
