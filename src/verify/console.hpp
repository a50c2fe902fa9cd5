// Standard output staged through one fixed buffer, and the diagnostics on
// standard error. Lines reach the stream in the order they are put; nothing
// is held beyond the fixed buffer; a terminal (a console on Windows, not
// any character device) gets each line as soon as it is complete.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "name_display.hpp"

inline constexpr std::size_t console_capacity = std::size_t{1} << 16;
inline constexpr std::size_t console_max_line = 64;  // longest line any caller puts

struct console {
    std::FILE* stream = nullptr;
    const char* program = "ctrcheck";  // the name that starts each diagnostic
    std::FILE* diagnostics = stderr;   // where complain writes
    bool per_line = false;             // hand every line over at once (a terminal is watching)
    bool crlf = false;                 // end lines in CR LF here: the stream is binary but wants them
    bool failed = false;               // a write to the stream has failed; nothing more is written
    int err = 0;                       // errno of the first failed write
    std::size_t len = 0;               // staged bytes in buf
    char buf[console_capacity];
};

// Attaches the console to `stream`; lines are handed over one by one when it
// is a terminal. A Windows text-mode stream is switched to binary mode and
// gets its CR LF from the console, in whole buffers.
void console_open(console& out, std::FILE* stream);

// Hands the staged bytes to the stream, recording the first failure.
void console_flush(console& out);

// Stages one or more whole lines (each ending in '\n', at most
// console_max_line bytes in all).
void console_put(console& out, std::string_view text);

// Stages bytes of any length that need not end a line (a name before a
// line's own text): a terminal gets them with the line that they start.
void console_append(console& out, std::string_view text);

// Stages the end of a line of any length (text ending in '\n'), and what
// console_append staged before it: a terminal gets the line at once.
void console_line(console& out, std::string_view text);

// Room for one more line of up to console_max_line bytes; the caller writes at
// the returned pointer and then calls console_commit with the line's end.
inline char* console_reserve(console& out) {
    if (console_capacity - out.len < console_max_line) console_flush(out);
    return out.buf + out.len;
}

// Hands the staged bytes over first where fewer than n bytes (at most
// console_capacity) are free, so that the next n go out in one write.
inline void console_make_room(console& out, std::size_t n) {
    if (console_capacity - out.len < n) console_flush(out);
}

inline void console_commit(console& out, const char* end) {
    out.len = static_cast<std::size_t>(end - out.buf);
    if (out.per_line) console_flush(out);
}

// Hands everything over and flushes the stream itself. False (with the
// reason in out.err) if any write so far has failed.
bool console_finish(console& out);

// console_finish, then closes the stream; the console writes nothing after.
bool console_close(console& out);

// Ends a run: closes the console, and where a write failed says so on
// stderr ("write error: <reason>") and gives `trouble` instead of `status`;
// then ends the process by a stop signal that has come. Gives the status.
int console_end_run(console& out, int status, int trouble);

// Writes "<program>: <message>\n" to out.diagnostics (standard error), after
// everything staged for standard output so far has been handed over, so that
// the two streams read in the order things happened.
[[gnu::format(printf, 2, 3)]] void complain(console& out, const char* fmt, ...);
