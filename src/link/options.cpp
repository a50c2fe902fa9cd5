#include "options.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <initializer_list>

using namespace std::string_view_literals;

const std::string_view verify_usage =
    "Usage: ctrverify [OPTION]... [FILE]...\n"
    "Check that each FILE carries an unbroken counter: a stream of words, each one\n"
    "more than the word before it, modulo 2^BITS; the word before the first taken\n"
    "as 0. With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  -w, --width=BITS    the word's width: 8 (the default), 16, 32 or 64\n"
    "      --endian=ORDER  the byte order of a word: little (the default) or big\n"
    "      --wrap=RULE     after the all-ones word comes 0 (zero, the default), or\n"
    "                        anything (any: ctrcheck's rule for bytes)\n"
    "  -s, --any-start     the first word may have any value (a capture that\n"
    "                        starts mid-stream); the check starts with the second\n"
    "      --skip=N        pass over the first N bytes; the word after them starts\n"
    "                        the check as with --any-start\n"
    "      --first=V       the first word must be V (decimal, or hex after 0x);\n"
    "                        not with --any-start\n"
    "      --lock=R        lock comes back after R words in a row (1 to 64,\n"
    "                        default 4)\n"
    "      --pattern=NAME  counter (the default), or the PRBS prbs7, prbs9, prbs11,\n"
    "                        prbs15, prbs20, prbs23, prbs29 or prbs31 (see below)\n"
    "      --bit-order=ORDER  PRBS: each word from its msb or lsb, or auto (the\n"
    "                        default: whichever gives sync first)\n"
    "      --invert=WHICH  PRBS: the pattern inverted: yes, no or auto (the default)\n"
    "      --line-rate=BITS  PRBS: a second is BITS bits of the stream (a capture;\n"
    "                        k, M, G for 10^3, 10^6, 10^9), not of the read clock\n"
    "      --explain       a line per event (corrupt, stuck, inserted, late,\n"
    "                        lost, repeat, restart, slip, stall) instead of the\n"
    "                        break lines\n"
    "  -q, --quiet         no break or event lines: only the summaries (and the\n"
    "                        --interval records)\n"
    "  -m, --max-lines=N   print at most N break or event lines per FILE (in JSON\n"
    "                        list at most N, 10 by default, 100 at most);\n"
    "                        counting goes on\n"
    "      --json          print one JSON object per FILE, one per line\n"
    "      --bytes=N       check N bytes of each FILE, then end it there\n"
    "      --duration=S    read each FILE for S seconds, then end it there\n"
    "      --idle-timeout=S  no byte for S seconds is trouble\n"
    "      --stall=S       a silence of S seconds or more is a stall event; the\n"
    "                        run goes on\n"
    "      --max-breaks=N  end each FILE at its Nth break\n"
    "      --interval=S    a record of bytes, rate and breaks every S seconds\n"
    "      --timestamps    start each break or event line with the UTC time found\n"
    "                        (before the FILE's name, with more than one)\n"
    "  -o, --output=FILE   write the report to FILE instead of standard output\n"
    "      --append        append to the --output FILE instead of emptying it\n"
    "      --progress      show progress on standard error even when it is not\n"
    "                        a terminal (it is shown on a terminal anyway)\n"
    "      --no-progress   never show progress\n"
    "      --help          display this help and exit\n"
    "      --version       output version information and exit\n"
    "\n"
    "Each break is a line \"PREVIOUS CURRENT @ POSITION\", the words in decimal,\n"
    "the position that of the word's first byte, counted from 1; with more than\n"
    "one FILE the line starts with \"FILE: \". Each FILE read ends with a line\n"
    "\"FILE: N bytes, M breaks\". A break ends lock, which comes back where R\n"
    "words in a row are a run (at any byte offset: a slip moves the word grid);\n"
    "the words between and the word there tell what happened (see the manual).\n"
    "\n"
    "A PRBS is found in the stream (its phase, order and sense) and checked bit by\n"
    "bit: lines \"bit errors @ POSITION: N (bits ...)\", \"sync @ POSITION\" and\n"
    "\"sync lost @ POSITION\" (32 of 128 bits wrong), and a summary with the bit\n"
    "error ratio (BER) and the error seconds. --wrap, --any-start, --first,\n"
    "--lock, --stall and --max-breaks are for a counter only.\n"
    "\n"
    "A FILE ends at its end, or where --bytes, --duration or --max-breaks end it.\n"
    "A terminal named as FILE (a serial port) is read raw and set back at the end.\n"
    "\n"
    "Exit status is 0 if every FILE was read to its end without a break (a PRBS:\n"
    "without a bit error or a sync loss), 1 if some FILE has one, 2 if trouble:\n"
    "a FILE that could not be read, in which no word was checked (no PRBS\n"
    "found), that ended before --bytes or --duration, or that\n"
    "was silent for --idle-timeout; a failed write, a wrong option. SIGINT,\n"
    "SIGTERM and SIGHUP end the run after a summary marked \"interrupted\" of\n"
    "what was read.\n";

namespace {
bool parse_count(const char* text, std::uint64_t& n) noexcept {
    const char* end = text + std::strlen(text);
    const auto [p, ec] = std::from_chars(text, end, n);
    return ec == std::errc() && p == end && p != text;
}

// Index of `value` among `names`, or -1.
int pick(const char* value, std::initializer_list<std::string_view> names) noexcept {
    int i = 0;
    for (std::string_view n : names) {
        if (n == value) return i;
        ++i;
    }
    return -1;
}

// A number of seconds: a positive decimal, "0.5", "10", "3600.25".
bool parse_seconds(const char* text, double& s) noexcept {
    s = 0;
    double scale = 1;
    int digits = 0;
    bool point = false;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '.' && !point) {
            point = true;
        } else if (*c >= '0' && *c <= '9' && digits < 15) {
            ++digits;
            if (point) scale /= 10;
            s = point ? s + (*c - '0') * scale : s * 10 + (*c - '0');
        } else {
            return false;
        }
    }
    return digits > 0 && s > 0;
}

// A word as the user writes it: decimal, or hex after "0x".
bool parse_word(const char* text, std::uint64_t& n) noexcept {
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* start = hex ? text + 2 : text;
    const char* end = start + std::strlen(start);
    const auto [p, ec] = std::from_chars(start, end, n, hex ? 16 : 10);
    return ec == std::errc() && p == end && p != start;
}

// Bits a second: a count, with k, M or G after it for 10^3, 10^6 or 10^9.
bool parse_rate(const char* text, std::uint64_t& n) noexcept {
    const std::size_t len = std::strlen(text);
    std::uint64_t scale = 1;
    if (len > 0) {
        const int i = pick(text + len - 1, {"k", "M", "G"});
        if (i >= 0) scale = i == 0 ? 1000 : i == 1 ? 1000000 : 1000000000;
    }
    const char* end = text + len - (scale != 1 ? 1 : 0);
    const auto [p, ec] = std::from_chars(text, end, n);
    if (ec != std::errc() || p != end || p == text || n > UINT64_MAX / scale) return false;
    n *= scale;
    return n >= 64;
}

using cmd = verify_command;
option_set check(bool ok) noexcept {
    return ok ? option_set::ok : option_set::invalid;
}
}  // namespace

const option_spec<verify_command> verify_options[28] = {
    {"width",
     'w',
     true,
     [](cmd& c, const char* v) {
         const int i = pick(v, {"8", "16", "32", "64"});
         c.opt.fmt.bytes = 1U << (i < 0 ? 0 : i);
         return check(i >= 0);
     },
     {},
     "8\0"
     "16\0"
     "32\0"
     "64"sv},
    {"endian",
     0,
     true,
     [](cmd& c, const char* v) {
         const int i = pick(v, {"little", "big"});
         c.opt.fmt.big_endian = i == 1;
         return check(i >= 0);
     },
     {},
     "little\0big"sv},
    {"wrap",
     0,
     true,
     [](cmd& c, const char* v) {
         c.counter_only = "--wrap";
         const int i = pick(v, {"zero", "any"});
         c.opt.fmt.wrap_any = i == 1;
         return check(i >= 0);
     },
     {},
     "zero\0any"sv},
    {"first", 0, true,
     [](cmd& c, const char* v) {
         c.opt.first_given = true;
         c.opt.first_text = v;
         c.counter_only = "--first";
         return check(parse_word(v, c.opt.first));
     },
     "invalid first word: '"},
    {"lock", 0, true,
     [](cmd& c, const char* v) {
         std::uint64_t n = 0;
         c.counter_only = "--lock";
         const bool ok = parse_count(v, n) && n >= 1 && n <= seq_lock_max;
         c.opt.lock = static_cast<unsigned>(ok ? n : 4);
         return check(ok);
     },
     "invalid number of words for lock (1 to 64): '"},
    {"stall", 0, true,
     [](cmd& c, const char* v) {
         c.counter_only = "--stall";
         return check(parse_seconds(v, c.opt.stall));
     },
     "invalid number of seconds: '"},
    {"any-start",
     's',
     false,
     [](cmd& c, const char*) {
         c.counter_only = "--any-start";
         return check(c.opt.any_start = true);
     },
     {}},
    {"pattern",
     0,
     true,
     [](cmd& c, const char* v) {
         const int i = pick(
             v, {"counter", "prbs7", "prbs9", "prbs11", "prbs15", "prbs20", "prbs23", "prbs29", "prbs31"});
         c.opt.prbs_on = i > 0;
         c.opt.prbs.pattern = static_cast<unsigned>(i > 0 ? i - 1 : 0);
         return check(i >= 0);
     },
     {},
     "counter\0prbs7\0prbs9\0prbs11\0prbs15\0prbs20\0prbs23\0prbs29\0prbs31"sv},
    {"bit-order",
     0,
     true,
     [](cmd& c, const char* v) {
         const int i = pick(v, {"auto", "msb", "lsb"});
         c.opt.prbs.order = static_cast<bit_order>(i < 0 ? 0 : i);
         return check(i >= 0);
     },
     {},
     "auto\0msb\0lsb"sv},
    {"invert",
     0,
     true,
     [](cmd& c, const char* v) {
         const int i = pick(v, {"auto", "yes", "no"});
         c.opt.prbs.invert = static_cast<prbs_choice>(i < 0 ? 0 : i);
         return check(i >= 0);
     },
     {},
     "auto\0yes\0no"sv},
    {"line-rate", 0, true, [](cmd& c, const char* v) { return check(parse_rate(v, c.opt.prbs.line_rate)); },
     "invalid line rate (bits a second, 64 or more): '"},
    {"skip", 0, true,
     [](cmd& c, const char* v) {
         c.opt.skip_given = true;
         return check(parse_count(v, c.opt.skip));
     },
     "invalid number of bytes to skip: '"},
    {"explain", 0, false, [](cmd& c, const char*) { return check(c.opt.explain = true); }, {}},
    {"quiet", 'q', false, [](cmd& c, const char*) { return check(c.opt.quiet = true); }, {}},
    {"max-lines", 'm', true, [](cmd& c, const char* v) { return check(parse_count(v, c.opt.max_lines)); },
     "invalid number of lines: '"},
    {"json", 0, false, [](cmd& c, const char*) { return check(c.opt.json = true); }, {}},
    {"bytes", 0, true,
     [](cmd& c, const char* v) {
         c.opt.byte_limit_given = true;
         return check(parse_count(v, c.opt.byte_limit) && c.opt.byte_limit > 0);
     },
     "invalid number of bytes: '"},
    {"duration", 0, true,
     [](cmd& c, const char* v) {
         c.opt.duration_text = v;
         return check(parse_seconds(v, c.opt.duration));
     },
     "invalid number of seconds: '"},
    {"idle-timeout", 0, true,
     [](cmd& c, const char* v) {
         c.opt.idle_text = v;
         return check(parse_seconds(v, c.opt.idle_timeout));
     },
     "invalid number of seconds: '"},
    {"max-breaks", 0, true,
     [](cmd& c, const char* v) {
         c.counter_only = "--max-breaks";
         return check(parse_count(v, c.opt.max_breaks) && c.opt.max_breaks > 0);
     },
     "invalid number of breaks: '"},
    {"interval", 0, true, [](cmd& c, const char* v) { return check(parse_seconds(v, c.opt.interval)); },
     "invalid number of seconds: '"},
    {"timestamps", 0, false, [](cmd& c, const char*) { return check(c.opt.timestamps = true); }, {}},
    {"output",
     'o',
     true,
     [](cmd& c, const char* v) {
         c.report_name = v;
         return option_set::ok;
     },
     {}},
    {"append", 0, false, [](cmd& c, const char*) { return check(c.report_append = true); }, {}},
    {"progress",
     0,
     false,
     [](cmd& c, const char*) {
         c.progress = 1;
         return option_set::ok;
     },
     {}},
    {"no-progress",
     0,
     false,
     [](cmd& c, const char*) {
         c.progress = 0;
         return option_set::ok;
     },
     {}},
    {"help",
     0,
     false,
     [](cmd& c, const char*) {
         c.help = true;
         return option_set::stop;
     },
     {}},
    {"version",
     0,
     false,
     [](cmd& c, const char*) {
         c.version = true;
         return option_set::stop;
     },
     {}},
};
