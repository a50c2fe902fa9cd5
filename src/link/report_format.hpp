// The pieces the report's formats share: numbers and times written
// without the C library's floating-point formatting, words counted, UTC
// time stamps, JSON strings.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

#include "report.hpp"

// Writes `v` seconds at p with three decimals ("12.345"), or with `trim`
// without the zeros at the end ("0.5", "3600"); gives the end.
char* put_seconds(char* p, double v, bool trim);

// A line under construction: words and numbers, at most 2 KiB.
struct text {
    char buf[2048];
    char* p = buf;
    // cppcheck-suppress uninitMemberVar ; written before it is read, not cleared in vain
    text() = default;
    text(const text&) = delete;
    text& operator=(const text&) = delete;
    void clear() { p = buf; }
    text& operator<<(std::string_view s) {
        for (char c : s) *p++ = c;
        return *this;
    }
    text& operator<<(std::uint64_t v) {
        p = std::to_chars(p, buf + sizeof buf, v).ptr;
        return *this;
    }
    // v with three decimals
    text& fixed(double v) {
        p = put_seconds(p, v, false);
        return *this;
    }
    [[nodiscard]] std::string_view view() const { return {buf, static_cast<std::size_t>(p - buf)}; }
};

// "2026-12-09T01:02:03.456Z": the UTC time of `now` on the report's clock.
text& utc(text& t, const stream_report& r, double now);

// Bytes a second between two times, 0 where no time has passed.
double rate(std::uint64_t bytes, double seconds);

// "1 word", "2 words", ...
text& count(text& t, std::uint64_t n, std::string_view one, std::string_view many);

// A JSON string of `s`, which is valid UTF-8 without control characters (a
// shown name, a system message): only quotes and backslashes need escapes.
void append_json_string(console& out, std::string_view s);

// "[0.000-1.000 s] N bytes, 12.3 MB/s, ": the head of a text interval record
// from the interval's start to `now`, with its bytes.
text& interval_head(text& t, const stream_report& r, std::uint64_t bytes, double now);

// Ends a JSON object with "interrupted" and "error" (null or the text),
// writing the rest of t first, and the line.
void json_close(console& out, text& t, bool interrupted, const char* error);

// Hands the staged lines over first unless the line about to start fits
// beside them, so that every write ends with a whole line.
void line_room(stream_report& r);

// What starts a break or event line: the progress line cleared, the time
// it was found, and with more than one FILE the name.
void name_before(stream_report& r);

// "<name><t>": a line of the summary.
void named_line(stream_report& r, const text& t);

// The summary line "<name><t>", on stderr too where the report goes to a
// file and stderr is a terminal.
void summary_line(stream_report& r, const text& t);
