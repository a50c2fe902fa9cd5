// The report of a stream's check, the one place that knows its formats: the
// break lines "<previous> <current> @ <position>" (or a line per event), the
// summary, the JSON object, the progress line on stderr.
#pragma once

#include <cstdint>
#include <string_view>

#include "console.hpp"
#include "continuity_check.hpp"
#include "stream_check.hpp"
#include "word_check.hpp"

// Breaks and events a JSON object lists at most, whatever -m says: the
// object is held in memory until the stream has ended.
inline constexpr std::uint64_t json_listed_max = 1000;

struct stream_report {
    const stream_options* opt = nullptr;
    console* out = nullptr;
    std::string_view shown;       // the name as it is shown
    std::uint64_t limit = 0;      // lines to write, or breaks and events to list
    std::uint64_t lines = 0;      // lines written so far
    std::uint64_t breaks_listed = 0, events_listed = 0;
    bool break_lines = false;     // the text shows break lines as found
    bool plain = false;           // ... with nothing before them and no progress line to clear
    bool terminal = false;        // stderr is a terminal: progress stays on one line
    bool progress_shown = false;  // a progress line stands there now
    double start = 0;

    // A capture broken throughout comes here for every word.
    void on_break(unsigned bytes, std::uint64_t alt, std::uint64_t neu, std::uint64_t pos) {
        if (plain && bytes == 1) {
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

// Sets the report up for the stream shown as `shown`.
void report_begin(stream_report& r, const stream_options& opt, console& out, std::string_view shown);

// The summary line, or the JSON object, of a stream: read to its end
// (`whole`), interrupted, or not (error names why). The text has no summary
// for a stream not read to its end.
void report_end(stream_report& r, const word_state& w, bool whole, bool interrupted, const char* error);

// "<program>: <name>: <reason>" on stderr, the progress line taken off first.
void report_trouble(stream_report& r, const char* reason);

// The progress line at time `now`: bytes, rate, breaks so far.
void report_progress(stream_report& r, const word_state& w, double now);

// Takes the progress line off the terminal before anything else is written there.
void clear_progress(stream_report& r);
