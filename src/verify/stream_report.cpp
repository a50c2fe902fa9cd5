#include "stream_report.hpp"

#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "platform.hpp"

char* put_seconds(char* p, double v, bool trim) {
    // In integers: no floating-point formatting from the C library, whose
    // code would count in the resident memory of every run.
    // NOLINTNEXTLINE(bugprone-incorrect-roundings): never negative here
    const auto ms = static_cast<std::uint64_t>(std::max(v, 0.0) * 1000 + 0.5);
    p = std::to_chars(p, p + 20, ms / 1000).ptr;
    auto frac = static_cast<unsigned>(ms % 1000);
    int digits = 3;
    while (trim && digits > 0 && frac % 10 == 0) {
        frac /= 10;
        --digits;
    }
    if (digits == 0) return p;
    *p++ = '.';
    for (int d = digits - 1; d >= 0; --d, frac /= 10) p[d] = static_cast<char>('0' + frac % 10);
    return p + digits;
}

namespace {
// Breaks a JSON object lists when no limit is given.
constexpr std::uint64_t json_breaks = 10;

struct listed_break {
    std::uint64_t pos, alt, neu;
    double time;
};
// The first breaks and events of the stream, for its JSON object, and the
// times they were found.
listed_break first_breaks[json_listed_max];
word_event first_events[json_listed_max];
double event_times[json_listed_max];

// Room in the staging buffer for the longest JSON object: the lists, the
// bit counts and the longest name, escaped.
constexpr std::size_t json_room = json_listed_max * 240 + std::size_t{64} * 21 + 2 * sizeof(shown_name) + 512;
static_assert(json_room <= console_capacity);

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
text& utc(text& t, const stream_report& r, double now) {
    using namespace std::chrono;
    const auto ms = static_cast<std::int64_t>((r.wall_start + (now - r.start)) * 1000.0);
    const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(ms)));
    const year_month_day date(day);
    const std::int64_t in_day = ms - duration_cast<milliseconds>(day.time_since_epoch()).count();
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(in_day / 3600000), static_cast<int>(in_day / 60000 % 60),
                  static_cast<int>(in_day / 1000 % 60), static_cast<int>(in_day % 1000));
    return t << stamp;
}

// What starts a break or event line: the progress line cleared, the time
// it was found, and with more than one FILE the name.
void name_before(stream_report& r) {
    clear_progress(r);
    if (r.opt->timestamps) {
        text t;
        utc(t, r, r.now) << " ";
        console_append(*r.out, t.view());
    }
    if (!r.opt->prefix) return;
    console_append(*r.out, r.shown);
    console_append(*r.out, ": ");
}

// ',"time":"<UTC>"' where time stamps were asked for.
void json_time(text& t, const stream_report& r, double time) {
    if (r.opt->timestamps) utc(t << R"(,"time":")", r, time) << "\"";
}

// Bytes a second between two times, 0 where no time has passed.
double rate(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
}

// "1 word", "2 words", ...
text& count(text& t, std::uint64_t n, std::string_view one, std::string_view many) {
    return t << n << " " << (n == 1 ? one : many);
}

// A JSON string of `s`, which is valid UTF-8 without control characters (a
// shown name, a system message): only quotes and backslashes need escapes.
void append_json_string(console& out, std::string_view s) {
    console_append(out, "\"");
    for (std::size_t i = 0; (i = s.find_first_of("\"\\")) != std::string_view::npos; s.remove_prefix(i + 1)) {
        console_append(out, s.substr(0, i));
        const char escaped[2] = {'\\', s[i]};
        console_append(out, std::string_view(escaped, 2));
    }
    console_append(out, s);
    console_append(out, "\"");
}

// "corrupt @ P: expected E, got G, bits 0,5", "lost @ P: N words", "repeat @ P: N words".
void event_line(text& t, const word_event& e) {
    if (e.kind == event_kind::corrupt) {
        t << "corrupt @ " << e.pos << ": expected " << e.expected << ", got " << e.got;
        std::uint64_t x = e.got ^ e.expected;
        t << ((x & (x - 1)) == 0 ? ", bit " : ", bits ");
        for (unsigned bit = 0; x != 0; ++bit, x >>= 1)
            if (x & 1) t << bit << ((x >> 1) != 0 ? "," : "");
    } else {
        t << (e.kind == event_kind::lost ? "lost @ " : "repeat @ ") << e.pos << ": ";
        count(t, e.words, "word", "words");
    }
}

void json_event(text& t, const stream_report& r, const word_event& e, double time) {
    t << R"({"pos":)" << e.pos;
    if (e.kind == event_kind::corrupt)
        t << R"(,"kind":"corrupt","expected":)" << e.expected << R"(,"got":)" << e.got;
    else
        t << (e.kind == event_kind::lost ? R"(,"kind":"lost","words":)" : R"(,"kind":"repeat","words":)")
          << e.words;
    json_time(t, r, time);
    t << "}";
}

void write_json(stream_report& r, const word_state& w, bool interrupted, const char* error) {
    console& out = *r.out;
    const event_counts& c = w.events;
    console_make_room(out, json_room);  // so that the object goes out in one write
    text t;
    t << R"({"type":"summary","file":)";
    console_append(out, t.view());
    append_json_string(out, r.shown);
    t.clear();
    t << R"(,"width":)" << std::uint64_t{w.fmt.bytes} * 8 << R"(,"first_breaks":[)";
    for (std::uint64_t i = 0; i < r.breaks_listed; ++i) {
        const listed_break& b = first_breaks[i];
        t << (i == 0 ? "" : ",") << R"({"pos":)" << b.pos << R"(,"alt":)" << b.alt << R"(,"neu":)" << b.neu;
        json_time(t, r, b.time);
        t << "}";
        console_append(out, t.view());
        t.clear();
    }
    const double seconds = r.now - r.start;
    t << R"(],"bytes":)" << word_bytes(w) << R"(,"breaks":)" << w.error << R"(,"seconds":)";
    t.fixed(seconds) << R"(,"rate":)" << static_cast<std::uint64_t>(rate(word_bytes(w), seconds))
                     << R"(,"trailing_bytes":)" << w.partial_len << R"(,"events":{"corrupt":)" << c.corrupt
                     << R"(,"lost":)" << c.lost << R"(,"lost_words":)" << c.lost_words << R"(,"repeat":)"
                     << c.repeat << R"(,"repeated_words":)" << c.repeated_words << R"(},"first_events":[)";
    for (std::uint64_t i = 0; i < r.events_listed; ++i) {
        if (i != 0) t << ",";
        json_event(t, r, first_events[i], event_times[i]);
        console_append(out, t.view());
        t.clear();
    }
    t << R"(],"bit_errors":[)";
    for (unsigned bit = 0; bit < w.fmt.bytes * 8; ++bit) t << (bit == 0 ? "" : ",") << c.bit_errors[bit];
    t << (interrupted ? R"(],"interrupted":true,"error":)" : R"(],"interrupted":false,"error":)");
    console_append(out, t.view());
    if (error != nullptr)
        append_json_string(out, error);
    else
        console_append(out, "null");
    console_line(out, "}\n");
}
}  // namespace

void report_begin(stream_report& r, const stream_options& opt, console& out, std::string_view shown) {
    r = stream_report{};
    r.opt = &opt;
    r.out = &out;
    r.shown = shown;
    if (opt.json) {
        r.limit = opt.max_lines == UINT64_MAX ? json_breaks : std::min(opt.max_lines, json_listed_max);
    } else {
        r.limit = opt.quiet ? 0 : opt.max_lines;
        r.break_lines = !opt.explain;
    }
    r.terminal = platform_is_terminal(out.diagnostics);
    r.plain = r.break_lines && !opt.prefix && !opt.timestamps && !(opt.progress && r.terminal);
}

void stream_report::note_break(std::uint64_t alt, std::uint64_t neu, std::uint64_t pos) {
    if (opt->json) {
        if (breaks_listed < limit) first_breaks[breaks_listed++] = {pos, alt, neu, now};
        return;
    }
    if (!break_lines || lines >= limit) return;
    ++lines;
    clear_progress(*this);
    name_before(*this);
    text t;
    t << alt << " " << neu << " @ " << pos << "\n";
    console_line(*out, t.view());
}

void stream_report::note_event(const word_event& e) {
    if (opt->json) {
        if (events_listed < limit) {
            event_times[events_listed] = now;
            first_events[events_listed++] = e;
        }
        return;
    }
    if (lines >= limit) return;
    ++lines;
    name_before(*this);
    text t;
    event_line(t, e);
    t << "\n";
    console_line(*out, t.view());
}

void report_end(stream_report& r, const word_state& w, bool whole, bool interrupted, const char* error) {
    if (r.opt->json) return write_json(r, w, interrupted, error);
    if (!whole) return;
    console_append(*r.out, r.shown);
    text t;
    t << ": ";
    count(t, word_bytes(w), "byte", "bytes") << ", ";
    count(t, w.error, "break", "breaks");
    if (w.partial_len != 0) count(t << ", ", w.partial_len, "byte", "bytes") << " left over";
    const event_counts& c = w.events;
    if (r.opt->explain) {
        t << ", events: " << c.corrupt << " corrupt, " << c.lost << " lost (";
        count(t, c.lost_words, "word", "words") << "), " << c.repeat << " repeat (";
        count(t, c.repeated_words, "word", "words") << ")";
    }
    t << (interrupted ? ", interrupted\n" : "\n");
    console_line(*r.out, t.view());
}

void report_trouble(stream_report& r, const char* reason) {
    clear_progress(r);
    complain(*r.out, "%.*s: %s", static_cast<int>(r.shown.size()), r.shown.data(), reason);
}

void clear_progress(stream_report& r) {
    if (!r.progress_shown) return;
    platform_put_line(r.out->diagnostics, "\r\x1b[K");
    r.progress_shown = false;
}

void report_progress(stream_report& r, const word_state& w, double now) {
    static char line[sizeof(shown_name) + 160];
    const std::uint64_t bytes = word_bytes(w);
    const double mib_s = rate(bytes - r.progress_bytes, now - r.progress_time) / 1048576;
    std::snprintf(line, sizeof line, "%s%s: %.*s: %.1f s, %" PRIu64 " bytes, %.1f MiB/s, %" PRIu64 " %s%s",
                  r.terminal ? "\r" : "", r.out->program, static_cast<int>(r.shown.size()), r.shown.data(),
                  now - r.start, bytes, mib_s, w.error, w.error == 1 ? "break" : "breaks",
                  r.terminal ? "\x1b[K" : "\n");
    platform_put_line(r.out->diagnostics, line);
    r.progress_shown = r.terminal;
    r.progress_time = now;
    r.progress_bytes = bytes;
}

void report_start(stream_report& r, double now) {
    r.start = r.now = r.record_start = r.progress_time = now;
    r.wall_start = platform_utc_seconds();
}

void report_interval(stream_report& r, const word_state& w, double now) {
    const std::uint64_t bytes = word_bytes(w) - r.record_bytes;
    const std::uint64_t breaks = w.error - r.record_breaks;
    const double seconds = now - r.record_start;
    console& out = *r.out;
    text t;
    if (r.opt->json) {
        console_make_room(out, sizeof(shown_name) * 2 + 256);
        t << R"({"type":"interval","file":)";
        console_append(out, t.view());
        append_json_string(out, r.shown);
        t.clear();
        t << R"(,"start":)";
        t.fixed(r.record_start - r.start) << R"(,"end":)";
        t.fixed(now - r.start) << R"(,"bytes":)" << bytes << R"(,"breaks":)" << breaks << R"(,"rate":)"
                               << static_cast<std::uint64_t>(rate(bytes, seconds)) << "}\n";
    } else {
        clear_progress(r);
        if (r.opt->prefix) {
            console_append(out, r.shown);
            console_append(out, ": ");
        }
        t << "[";
        t.fixed(r.record_start - r.start) << "-";
        t.fixed(now - r.start) << " s] ";
        count(t, bytes, "byte", "bytes") << ", ";
        t << static_cast<std::uint64_t>(rate(bytes, seconds)) << " B/s, ";
        count(t, breaks, "break", "breaks") << "\n";
    }
    console_line(out, t.view());
    r.record_start = now;
    r.record_bytes += bytes;
    r.record_breaks += breaks;
}
