#include <bit>
#include <cstdint>

#include "report.hpp"
#include "report_format.hpp"

namespace {
// Room in the staging buffer for the longest JSON object: the lists, the
// bit counts and the longest name, escaped.
constexpr std::size_t json_room = json_listed_max * 240 + std::size_t{64} * 21 + 2 * sizeof(shown_name) + 512;
static_assert(json_room <= console_capacity);

// ',"time":"<UTC>"' where time stamps were asked for.
void json_time(text& t, const stream_report& r, double time) {
    if (r.opt->timestamps) utc(t << R"(,"time":")", r, time) << "\"";
}

void json_event(text& t, const stream_report& r, const word_event& e, double time) {
    t << R"({"pos":)" << e.pos << R"(,"kind":")" << event_name(e.kind) << "\"";
    switch (e.kind) {
        case event_kind::corrupt:
            if (e.expected != e.got) t << R"(,"expected":)" << e.expected << R"(,"got":)" << e.got;
            t << R"(,"words":)" << e.words;
            break;
        case event_kind::restart:
            t << R"(,"from":)" << e.from << R"(,"to":)" << e.to;
            break;
        case event_kind::slip:
            t << R"(,"bytes":)" << e.bytes;
            break;
        case event_kind::stall:
            t << R"(,"seconds":)";
            t.fixed(e.seconds) << R"(,"since":")";
            utc(t, r, e.since) << "\"";
            break;
        default:
            t << R"(,"words":)" << e.words;
            if (e.has_value) t << R"(,"value":)" << e.value;
    }
    json_time(t, r, time);
    t << "}";
}

// The events object: each kind's count, and its words where it has them.
text& json_counts(text& t, const event_counts& c) {
    return t << R"({"corrupt":)" << c.corrupt << R"(,"corrupt_words":)" << c.corrupt_words << R"(,"lost":)"
             << c.lost << R"(,"lost_words":)" << c.lost_words << R"(,"repeat":)" << c.repeat
             << R"(,"repeated_words":)" << c.repeated_words << R"(,"stuck":)" << c.stuck
             << R"(,"stuck_words":)" << c.stuck_words << R"(,"inserted":)" << c.inserted
             << R"(,"inserted_words":)" << c.inserted_words << R"(,"late":)" << c.late << R"(,"late_words":)"
             << c.late_words << R"(,"restart":)" << c.restart << R"(,"slip":)" << c.slip << R"(,"stall":)"
             << c.stall << "}";
}

}  // namespace

void write_json(stream_report& r, const word_state& w, bool interrupted, const char* error) {
    console& out = *r.out;
    const event_counts& c = w.seq.counts;
    console_make_room(out, json_room);  // so that the object goes out in one write
    text t;
    t << R"({"type":"summary","file":)";
    console_append(out, t.view());
    append_json_string(out, r.shown);
    t.clear();
    t << R"(,"width":)" << std::uint64_t{w.fmt.bytes} * 8 << R"(,"first_breaks":[)";
    for (std::uint64_t i = 0; i < r.breaks_listed; ++i) {
        const listed_break& b = r.first_breaks[i];
        t << (i == 0 ? "" : ",") << R"({"pos":)" << b.pos << R"(,"alt":)" << b.alt << R"(,"neu":)" << b.neu;
        json_time(t, r, b.time);
        t << "}";
        console_append(out, t.view());
        t.clear();
    }
    const double seconds = r.now - r.start;
    t << R"(],"bytes":)" << word_bytes(w) << R"(,"breaks":)" << w.error << R"(,"seconds":)";
    t.fixed(seconds) << R"(,"rate":)" << static_cast<std::uint64_t>(rate(word_bytes(w), seconds))
                     << R"(,"trailing_bytes":)" << w.partial_len << R"(,"events":)";
    json_counts(t, c) << R"(,"first_events":[)";
    for (std::uint64_t i = 0; i < r.events_listed; ++i) {
        if (i != 0) t << ",";
        json_event(t, r, r.first_events[i], r.event_times[i]);
        console_append(out, t.view());
        t.clear();
    }
    t << R"(],"bit_errors":[)";
    for (unsigned bit = 0; bit < w.fmt.bytes * 8; ++bit) t << (bit == 0 ? "" : ",") << c.bit_errors[bit];
    t << "]";
    for (int set = 1; set >= 0; --set) {
        t << (set == 1 ? R"(,"bits_never_set":[)" : R"(,"bits_never_cleared":[)");
        for (std::uint64_t x = word_bits_never(w, set == 1); x != 0; x &= x - 1)
            t << static_cast<std::uint64_t>(std::countr_zero(x)) << ((x & (x - 1)) != 0 ? "," : "");
        t << "]";
    }
    if (r.hint.found)
        t << R"(,"hint":{"width":)" << std::uint64_t{r.hint.width} << R"(,"endian":")"
          << (r.hint.big_endian ? "big" : "little") << R"(","skip":)" << r.hint.skip << "}";
    else
        t << R"(,"hint":null)";
    json_close(out, t, interrupted, error);
}

void json_event_record(stream_report& r, const word_event& e) {
    console& out = *r.out;
    console_make_room(out, sizeof(shown_name) * 2 + 512);
    console_append(out, R"({"type":"event","file":)");
    append_json_string(out, r.shown);
    text t;
    json_event(t, r, e, r.now);
    console_append(out, ",");
    console_append(out, t.view().substr(1));
    console_line(out, "\n");
}

void json_interval(stream_report& r, const word_state& w, double now) {
    const std::uint64_t bytes = word_bytes(w) - r.record_bytes;
    const std::uint64_t breaks = w.error - r.record_breaks;
    const double seconds = now - r.record_start;
    console& out = *r.out;
    text t;
    console_make_room(out, sizeof(shown_name) * 2 + 256);
    t << R"({"type":"interval","file":)";
    console_append(out, t.view());
    append_json_string(out, r.shown);
    t.clear();
    t << R"(,"start":)";
    t.fixed(r.record_start - r.start) << R"(,"end":)";
    t.fixed(now - r.start) << R"(,"time":")";
    utc(t, r, now) << R"(","bytes":)" << bytes << R"(,"breaks":)" << breaks << R"(,"rate":)"
                   << static_cast<std::uint64_t>(rate(bytes, seconds)) << R"(,"events":)";
    json_counts(t, interval_events(r, w)) << "}\n";
    console_line(out, t.view());
    next_interval(r, w, now);
}
