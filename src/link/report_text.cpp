#include "report.hpp"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "report_format.hpp"
#include "verify/platform.hpp"

namespace {
// Longest text of a line after its time stamp and name.
constexpr std::size_t line_text_max = 256;
}  // namespace

void line_room(stream_report& r) {
    console_make_room(*r.out, r.shown.size() + 2 + (r.opt->timestamps ? 32 : 0) + line_text_max);
}

void name_before(stream_report& r) {
    clear_progress_for_report(r);
    line_room(r);
    if (r.opt->timestamps) {
        text t;
        utc(t, r, r.now) << " ";
        console_append(*r.out, t.view());
    }
    if (!r.opt->prefix) return;
    console_append(*r.out, r.shown);
    console_append(*r.out, ": ");
}

namespace {
// ", bit 3" or ", bits 0,5".
void bits_wrong(text& t, std::uint64_t x) {
    t << ((x & (x - 1)) == 0 ? ", bit " : ", bits ");
    for (unsigned bit = 0; x != 0; ++bit, x >>= 1)
        if (x & 1) t << bit << ((x >> 1) != 0 ? "," : "");
}

// One word's value: " of V" where all the words were the same.
void value_of(text& t, const word_event& e) {
    if (e.has_value) t << " of " << e.value;
}

// "corrupt @ P: expected E, got G, bits 0,5" for one word, "corrupt @ P: N
// words", "lost @ P: N words", "stuck @ P: N words of V", "restart @ P: from
// F to T", ...: a kind, never a number, first.
void event_line(text& t, const stream_report& r, const word_event& e) {
    t << event_name(e.kind) << " @ " << e.pos << ": ";
    switch (e.kind) {
        case event_kind::corrupt:
            if (e.expected == e.got) {
                count(t, e.words, "word", "words");
                break;
            }
            t << "expected " << e.expected << ", got " << e.got;
            bits_wrong(t, e.got ^ e.expected);
            break;
        case event_kind::restart:
            t << "from " << e.from << " to " << e.to;
            break;
        case event_kind::slip:
            count(t, e.bytes, "byte", "bytes");
            break;
        case event_kind::stall:
            t.fixed(e.seconds) << " s from ";
            utc(t, r, e.since);
            break;
        default:
            count(t, e.words, "word", "words");
            value_of(t, e);
    }
}

// ", 2 late (5 words)": a kind in the summary, where it occurred.
void kind_count(text& t, std::uint64_t n, std::string_view kind, std::uint64_t words) {
    if (n == 0) return;
    t << ", " << n << " " << kind << " (";
    count(t, words, "word", "words") << ")";
}

// ", events: 0 corrupt, 1 lost (2 words), 0 repeat (0 words)" and each
// other kind that occurred.
void event_list(text& t, const event_counts& c) {
    t << ", events: " << c.corrupt << " corrupt, " << c.lost << " lost (";
    count(t, c.lost_words, "word", "words") << "), " << c.repeat << " repeat (";
    count(t, c.repeated_words, "word", "words") << ")";
    kind_count(t, c.late, "late", c.late_words);
    kind_count(t, c.stuck, "stuck", c.stuck_words);
    kind_count(t, c.inserted, "inserted", c.inserted_words);
    if (c.restart != 0) count(t << ", ", c.restart, "restart", "restarts");
    if (c.slip != 0) count(t << ", ", c.slip, "slip", "slips");
    if (c.stall != 0) count(t << ", ", c.stall, "stall", "stalls");
}
}  // namespace

void named_line(stream_report& r, const text& t) {
    line_room(r);
    console_append(*r.out, r.shown);
    console_line(*r.out, t.view());
}

void summary_line(stream_report& r, const text& t) {
    named_line(r, t);
    if (r.opt->summary_on_stderr) {  // the report goes to a file: the screen shows the end too
        clear_progress(r);
        char line[sizeof(shown_name) + sizeof t.buf];
        std::snprintf(line, sizeof line, "%.*s%.*s", static_cast<int>(r.shown.size()), r.shown.data(),
                      static_cast<int>(t.view().size()), t.view().data());
        platform_put_line(r.out->diagnostics, line);
    }
}

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
    r.shared = r.terminal && platform_same_terminal(out.stream, out.diagnostics);
    r.plain = r.break_lines && !opt.prefix && !opt.timestamps && !(opt.progress && r.shared);
}

void stream_report::note_break(std::uint64_t alt, std::uint64_t neu, std::uint64_t pos) {
    if (opt->json) {
        if (breaks_listed < limit) first_breaks[breaks_listed++] = {pos, alt, neu, now};
        return;
    }
    if (!break_lines || lines >= limit) return;
    ++lines;
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
            json_event_record(*this, e);
        }
        return;
    }
    if (lines >= limit) return;
    ++lines;
    name_before(*this);
    text t;
    event_line(t, *this, e);
    t << "\n";
    console_line(*out, t.view());
}

void report_end(stream_report& r, const word_state& w, bool whole, bool interrupted, const char* error) {
    if (r.prbs != nullptr) return prbs_report_end(r, whole, interrupted, error);
    if (r.opt->json) return write_json(r, w, interrupted, error);
    if (!whole) return;
    text t;
    t << ": ";
    count(t, word_bytes(w), "byte", "bytes") << ", ";
    count(t, w.error, "break", "breaks");
    if (w.partial_len != 0) count(t << ", ", w.partial_len, "byte", "bytes") << " left over";
    if (r.opt->explain) event_list(t, w.seq.counts);
    t << (interrupted ? ", interrupted\n" : "\n");
    summary_line(r, t);
    for (int set = 1; set >= 0; --set)
        for (std::uint64_t x = word_bits_never(w, set == 1); x != 0; x &= x - 1) {
            t.clear();
            t << ": bit " << static_cast<std::uint64_t>(std::countr_zero(x))
              << (set == 1 ? " never 1" : " never 0") << " (a stuck data line?)\n";
            named_line(r, t);
        }
    if (r.hint.found) {
        t.clear();
        t << ": hint: the first " << std::uint64_t{r.hint.bytes}
          << " bytes are an unbroken counter with --width=" << std::uint64_t{r.hint.width}
          << (r.hint.big_endian ? " --endian=big" : " --endian=little") << " --skip=" << r.hint.skip << "\n";
        named_line(r, t);
    }
}

void report_trouble(stream_report& r, const char* reason) {
    clear_progress(r);
    complain(*r.out, "%.*s: %s", static_cast<int>(r.shown.size()), r.shown.data(), reason);
}

void report_start(stream_report& r, double now) {
    r.start = r.now = r.record_start = r.progress_time = now;
    r.wall_start = platform_utc_seconds();
}

void report_interval(stream_report& r, const word_state& w, double now) {
    if (r.prbs != nullptr) return prbs_report_interval(r, now);
    if (r.opt->json) return json_interval(r, w, now);
    const std::uint64_t bytes = word_bytes(w) - r.record_bytes;
    const std::uint64_t breaks = w.error - r.record_breaks;
    console& out = *r.out;
    clear_progress_for_report(r);
    line_room(r);
    if (r.opt->prefix) {
        console_append(out, r.shown);
        console_append(out, ": ");
    }
    text t;
    count(interval_head(t, r, bytes, now), breaks, "break", "breaks");
    const event_counts d = interval_events(r, w);
    if (d.corrupt + d.lost + d.repeat + d.stuck + d.inserted + d.late + d.restart + d.slip + d.stall != 0)
        event_list(t, d);
    t << "\n";
    console_line(out, t.view());
    next_interval(r, w, now);
}

event_counts interval_events(const stream_report& r, const word_state& w) {
    const event_counts& now = w.seq.counts;
    const event_counts& was = r.record_events;
    event_counts d;
    d.corrupt = now.corrupt - was.corrupt;
    d.corrupt_words = now.corrupt_words - was.corrupt_words;
    d.lost = now.lost - was.lost;
    d.lost_words = now.lost_words > was.lost_words ? now.lost_words - was.lost_words : 0;
    d.repeat = now.repeat - was.repeat;
    d.repeated_words = now.repeated_words - was.repeated_words;
    d.stuck = now.stuck - was.stuck;
    d.stuck_words = now.stuck_words - was.stuck_words;
    d.inserted = now.inserted - was.inserted;
    d.inserted_words = now.inserted_words - was.inserted_words;
    d.late = now.late - was.late;
    d.late_words = now.late_words - was.late_words;
    d.restart = now.restart - was.restart;
    d.slip = now.slip - was.slip;
    d.stall = now.stall - was.stall;
    return d;
}

void next_interval(stream_report& r, const word_state& w, double now) {
    r.record_start = now;
    r.record_bytes = word_bytes(w);
    r.record_breaks = w.error;
    r.record_events = w.seq.counts;
}
