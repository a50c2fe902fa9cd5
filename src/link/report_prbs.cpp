// The report of a PRBS check: its lines (errored words, sync, sync lost),
// its summary line or JSON object, its interval records.
#include <bit>
#include <cstdio>

#include "report.hpp"
#include "report_format.hpp"

namespace {
// A bit error ratio as the field writes it: "1.2e-09", or in JSON "1.234e-09".
text& ratio(text& t, double v, bool json) {
    char b[32];
    std::snprintf(b, sizeof b, json ? "%.3e" : "%.1e", v);
    return t << b;
}

// The ratio that the true one stays below with 95% confidence when none of
// `bits` bits was wrong: -ln(0.05) / bits.
double upper95(std::uint64_t bits) {
    return 2.995732273553991 / static_cast<double>(bits);
}

double ber(std::uint64_t errors, std::uint64_t bits) {
    return static_cast<double>(errors) / static_cast<double>(bits);
}

// "E bit errors in B bits (BER 1.2e-09)", or with no error "(BER < 3.0e-12 (95%))".
text& errors_in(text& t, std::uint64_t errors, std::uint64_t bits) {
    count(t, errors, "bit error", "bit errors") << " in ";
    count(t, bits, "bit", "bits");
    if (bits == 0) return t;
    if (errors != 0) return ratio(t << " (BER ", ber(errors, bits), false) << ")";
    return ratio(t << " (BER < ", upper95(bits), false) << " (95%))";
}

// ", bit 3" or ", bits 0,5" of a word's bits that were wrong.
text& which_bits(text& t, std::uint64_t x) {
    t << (std::popcount(x) == 1 ? " (bit " : " (bits ");
    for (unsigned bit = 0; x != 0; ++bit, x >>= 1)
        if (x & 1) t << std::uint64_t{bit} << ((x >> 1) != 0 ? "," : "");
    return t << ")";
}

text& json_number_or_null(text& t, bool has, double v) {
    return has ? ratio(t, v, true) : t << "null";
}
}  // namespace

void prbs_report_line(void* to, const prbs_line& l) {
    stream_report& r = *static_cast<stream_report*>(to);
    if (r.opt->json) {
        if (l.kind == prbs_line::errored_word && r.breaks_listed < r.limit)
            r.first_breaks[r.breaks_listed++] = {l.pos, static_cast<std::uint64_t>(std::popcount(l.mask)),
                                                 l.mask, r.now};
        return;
    }
    if (r.lines >= r.limit) return;
    ++r.lines;
    name_before(r);
    text t;
    switch (l.kind) {
        case prbs_line::errored_word:
            which_bits(
                t << "bit errors @ " << l.pos << ": " << static_cast<std::uint64_t>(std::popcount(l.mask)),
                l.mask);
            break;
        case prbs_line::sync_found:
            t << "sync @ " << l.pos << ": " << (r.prbs->lsb ? "lsb first" : "msb first")
              << (r.prbs->inverted ? ", inverted" : "");
            break;
        case prbs_line::sync_lost:
            t << "sync lost @ " << l.pos << ": " << l.mask << " of the last 128 bits wrong";
            break;
    }
    t << "\n";
    console_line(*r.out, t.view());
}

void prbs_report_end(stream_report& r, bool whole, bool interrupted, const char* error) {
    const prbs_state& s = *r.prbs;
    const std::string_view name = prbs_patterns[s.fmt.pattern].name;
    const error_seconds& e = s.es;
    text t;
    if (!r.opt->json) {
        if (!whole) return;
        t << ": ";
        count(t, s.fed, "byte", "bytes") << ", " << name << ", ";
        if (!s.ever_synced) {
            t << "no sync";
        } else {
            errors_in(t, s.bit_errors, s.bits) << ", ";
            count(t, s.sync_losses, "sync loss", "sync losses")
                << (s.lsb ? ", lsb first" : ", msb first") << (s.inverted ? ", inverted" : "");
            t << ", ES " << e.es << ", SES " << e.ses << ", EFS " << e.efs << ", UAS " << e.uas;
        }
        if (s.trailing != 0) count(t << ", ", s.trailing, "byte", "bytes") << " left over";
        t << (interrupted ? ", interrupted\n" : "\n");
        return summary_line(r, t);
    }
    console& out = *r.out;
    console_make_room(out, json_listed_max * 48 + 2 * sizeof(shown_name) + 1024);
    console_append(out, R"({"type":"summary","file":)");
    append_json_string(out, r.shown);
    const double seconds = r.now - r.start;
    t << R"(,"pattern":")" << name << R"(","width":)" << std::uint64_t{s.fmt.bytes} * 8 << R"(,"bit_order":)"
      << (!s.ever_synced ? "null"
          : s.lsb        ? "\"lsb\""
                         : "\"msb\"")
      << R"(,"inverted":)"
      << (!s.ever_synced ? "null"
          : s.inverted   ? "true"
                         : "false")
      << R"(,"bytes":)" << s.fed << R"(,"seconds":)";
    t.fixed(seconds) << R"(,"rate":)" << static_cast<std::uint64_t>(rate(s.fed, seconds))
                     << R"(,"trailing_bytes":)" << s.trailing << R"(,"bits":)" << s.bits
                     << R"(,"bit_errors":)" << s.bit_errors << R"(,"errored_words":)" << s.errored_words
                     << R"(,"ber":)";
    json_number_or_null(t, s.bits != 0, s.bits != 0 ? ber(s.bit_errors, s.bits) : 0) << R"(,"ber_upper95":)";
    json_number_or_null(t, s.bits != 0 && s.bit_errors == 0, s.bits != 0 ? upper95(s.bits) : 0)
        << R"(,"sync_at":)";
    if (s.ever_synced)
        t << s.sync_at;
    else
        t << "null";
    t << R"(,"sync_losses":)" << s.sync_losses << R"(,"unsynced_bits":)" << prbs_unsynced_bits(s)
      << R"(,"first_errors":[)";
    console_append(out, t.view());
    t.clear();
    for (std::uint64_t i = 0; i < r.breaks_listed; ++i) {
        t << (i == 0 ? "" : ",") << R"({"pos":)" << r.first_breaks[i].pos << R"(,"bits":)"
          << r.first_breaks[i].alt << "}";
        console_append(out, t.view());
        t.clear();
    }
    t << R"(],"errored_seconds":)" << e.es << R"(,"severely_errored_seconds":)" << e.ses
      << R"(,"error_free_seconds":)" << e.efs << R"(,"unavailable_seconds":)" << e.uas;
    json_close(out, t, interrupted, error);
}

void prbs_report_interval(stream_report& r, double now) {
    const prbs_state& s = *r.prbs;
    const std::uint64_t bytes = s.fed - r.record_bytes;
    const std::uint64_t bits = s.bits - r.record_bits, errors = s.bit_errors - r.record_bit_errors;
    const double seconds = now - r.record_start;
    console& out = *r.out;
    text t;
    clear_progress_for_report(r);
    console_make_room(out, sizeof(shown_name) * 2 + 256);
    if (r.opt->json) {
        console_append(out, R"({"type":"interval","file":)");
        append_json_string(out, r.shown);
        t << R"(,"start":)";
        t.fixed(r.record_start - r.start) << R"(,"end":)";
        t.fixed(now - r.start) << R"(,"time":")";
        utc(t, r, now) << R"(","bytes":)" << bytes << R"(,"rate":)"
                       << static_cast<std::uint64_t>(rate(bytes, seconds)) << R"(,"bits":)" << bits
                       << R"(,"bit_errors":)" << errors << R"(,"ber":)";
        json_number_or_null(t, bits != 0, bits != 0 ? ber(errors, bits) : 0) << "}\n";
    } else {
        if (r.opt->prefix) t << r.shown << ": ";
        errors_in(interval_head(t, r, bytes, now), errors, bits) << "\n";
    }
    console_line(out, t.view());
    r.record_start = now;
    r.record_bytes = s.fed;
    r.record_bits = s.bits;
    r.record_bit_errors = s.bit_errors;
}
