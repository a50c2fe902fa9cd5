// ctrverify: checks that files, devices, pipes or standard input carry an
// unbroken counter of 8 to 64 bits, for scripts, CI gates and live link
// tests: the exit status says whether there was a break, and each break is
// diagnosed.
//
//   ctrverify [OPTION]... [FILE]...    (no FILE, or -: standard input)

#include <charconv>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "verify/console.hpp"
#include "verify/platform.hpp"
#include "verify/stream_check.hpp"

namespace {
console out;
const char* report_name = nullptr;  // the report's file, instead of stdout
bool report_append = false;

constexpr std::string_view usage_text =
    "Usage: ctrverify [OPTION]... [FILE]...\n"
    "Check that each FILE carries an unbroken counter: a stream of words, each one\n"
    "more than the word before it, modulo 2^BITS; the word before the first taken\n"
    "as 0. With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  -w, --width=BITS    the counter's width: 8 (the default), 16, 32 or 64\n"
    "      --endian=ORDER  the byte order of a word: little (the default) or big\n"
    "      --wrap=RULE     after the all-ones word comes 0 (zero, the default), or\n"
    "                        anything (any: ctrcheck's rule for bytes)\n"
    "  -s, --any-start     the first word may have any value (a capture that\n"
    "                        starts mid-stream); the check starts with the second\n"
    "      --skip=N        pass over the first N bytes; the word after them starts\n"
    "                        the check as with --any-start\n"
    "      --explain       a line per event (a corrupt word, words lost, words\n"
    "                        repeated) instead of the break lines\n"
    "  -q, --quiet         print only the summaries, no break or event lines\n"
    "  -m, --max-lines=N   print at most N break or event lines per FILE (in JSON\n"
    "                        list at most N, 10 by default, 1000 at most);\n"
    "                        counting goes on\n"
    "      --json          print one JSON object per FILE, one per line\n"
    "      --bytes=N       check N bytes of each FILE, then end it there\n"
    "      --duration=S    read each FILE for S seconds, then end it there\n"
    "      --idle-timeout=S  no byte for S seconds is trouble\n"
    "      --max-breaks=N  end each FILE at its Nth break\n"
    "      --interval=S    a record of bytes, rate and breaks every S seconds\n"
    "      --timestamps    start each break or event line with the UTC time found\n"
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
    "\"FILE: N bytes, M breaks\". A break is diagnosed by the word after it: that\n"
    "word is the one expected plus one (corrupt), or else the difference says\n"
    "how many words were lost (below half the range) or came again.\n"
    "\n"
    "A FILE ends at its end, or where --bytes, --duration or --max-breaks end it.\n"
    "A terminal named as FILE (a serial port) is read raw and set back at the end.\n"
    "\n"
    "Exit status is 0 if every FILE was read to its end without a break, 1 if\n"
    "some FILE has a break, 2 if trouble: a FILE that could not be read, in\n"
    "which no word was checked, that ended before --bytes or --duration, or that\n"
    "was silent for --idle-timeout; a failed write, a wrong option. SIGINT,\n"
    "SIGTERM and SIGHUP end the run after a summary marked \"interrupted\" of\n"
    "what was read.\n";

// Ends the run: a report that could not be written is trouble (status 2).
int finish(int status) {
    return console_end_run(out, status, 2);
}

// "<before><what, shown safely><after>", the pointer to --help, status 2.
int usage_error(std::string_view before, const char* what, std::string_view after) {
    complain(out, "%.*s%s%.*s", static_cast<int>(before.size()), before.data(), show_name(what).text,
             static_cast<int>(after.size()), after.data());
    platform_put_line(stderr, "Try 'ctrverify --help' for more information.\n");
    return finish(2);
}

enum class option {
    width,
    endian,
    wrap,
    any_start,
    skip,
    explain,
    quiet,
    max_lines,
    json,
    bytes,
    duration,
    idle_timeout,
    max_breaks,
    interval,
    timestamps,
    output,
    append,
    progress,
    no_progress,
    help,
    version,
    none
};

struct long_option {
    std::string_view name;
    option opt;
    bool takes_value;
};
constexpr long_option long_options[] = {
    {"width", option::width, true},
    {"endian", option::endian, true},
    {"wrap", option::wrap, true},
    {"any-start", option::any_start, false},
    {"skip", option::skip, true},
    {"explain", option::explain, false},
    {"quiet", option::quiet, false},
    {"max-lines", option::max_lines, true},
    {"json", option::json, false},
    {"bytes", option::bytes, true},
    {"duration", option::duration, true},
    {"idle-timeout", option::idle_timeout, true},
    {"max-breaks", option::max_breaks, true},
    {"interval", option::interval, true},
    {"timestamps", option::timestamps, false},
    {"output", option::output, true},
    {"append", option::append, false},
    {"progress", option::progress, false},
    {"no-progress", option::no_progress, false},
    {"help", option::help, false},
    {"version", option::version, false},
};

// The long option that `name` names in full or by a prefix of only one.
const long_option* find_long(std::string_view name) {
    const long_option* found = nullptr;
    for (const long_option& o : long_options) {
        if (o.name == name) return &o;
        if (o.name.substr(0, name.size()) == name) {
            if (found != nullptr) return nullptr;
            found = &o;
        }
    }
    return found;
}

bool parse_count(const char* text, std::uint64_t& n) {
    const char* end = text + std::strlen(text);
    const auto [p, ec] = std::from_chars(text, end, n);
    return ec == std::errc() && p == end && p != text;
}

// Index of `value` among `names`, or -1.
int pick(const char* value, std::initializer_list<std::string_view> names) {
    int i = 0;
    for (std::string_view n : names) {
        if (n == value) return i;
        ++i;
    }
    return -1;
}

// A number of seconds: a positive decimal, "0.5", "10", "3600.25".
bool parse_seconds(const char* text, double& s) {
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

// Sets option `o` from its value; false where the value is not one it takes.
bool set_value(option o, const char* value, stream_options& opt) {
    switch (o) {
        case option::bytes:
            return parse_count(value, opt.byte_limit);
        case option::duration:
            return parse_seconds(value, opt.duration);
        case option::idle_timeout:
            return parse_seconds(value, opt.idle_timeout);
        case option::interval:
            return parse_seconds(value, opt.interval);
        case option::max_breaks:
            return parse_count(value, opt.max_breaks) && opt.max_breaks > 0;
        case option::output:
            report_name = value;
            return true;
        case option::width: {
            const int i = pick(value, {"8", "16", "32", "64"});
            opt.fmt.bytes = 1U << (i < 0 ? 0 : i);
            return i >= 0;
        }
        case option::endian: {
            const int i = pick(value, {"little", "big"});
            opt.fmt.big_endian = i == 1;
            return i >= 0;
        }
        case option::wrap: {
            const int i = pick(value, {"zero", "any"});
            opt.fmt.wrap_any = i == 1;
            return i >= 0;
        }
        case option::skip:
            opt.skip_given = true;
            return parse_count(value, opt.skip);
        default:
            return parse_count(value, opt.max_lines);
    }
}
}  // namespace

int main(int argc, char** argv) {
    platform_args(argc, argv);
    out.program = "ctrverify";
    console_open(out, stdout);

    stream_options opt;
    int progress = -1;  // on a terminal
    std::vector<const char*> files;
    bool options_end = false;
    for (int k = 1; k < argc; ++k) {
        const char* arg = argv[k];
        if (options_end || arg[0] != '-' || arg[1] == '\0') {
            files.push_back(arg);
            continue;
        }
        option o = option::none;
        const char* value = nullptr;  // the option's argument, where it takes one
        const char* shown = nullptr;  // the option as messages name it
        if (arg[1] == '-') {
            if (arg[2] == '\0') {
                options_end = true;
                continue;
            }
            std::string_view name(arg + 2);
            const std::size_t eq = name.find('=');
            const long_option* lo = find_long(name.substr(0, eq));
            if (lo == nullptr) return usage_error("unrecognized option '", arg, "'");
            static char full[32];
            std::snprintf(full, sizeof full, "--%.*s", static_cast<int>(lo->name.size()), lo->name.data());
            o = lo->opt;
            shown = full;
            if (!lo->takes_value && eq != std::string_view::npos)
                return usage_error("option '", full, "' doesn't allow an argument");
            if (lo->takes_value) {
                if (eq != std::string_view::npos)
                    value = arg + 2 + eq + 1;
                else if (k + 1 < argc)
                    value = argv[++k];
                else
                    return usage_error("option '", full, "' requires an argument");
            }
            switch (o) {
                case option::any_start:
                    opt.any_start = true;
                    break;
                case option::explain:
                    opt.explain = true;
                    break;
                case option::timestamps:
                    opt.timestamps = true;
                    break;
                case option::append:
                    report_append = true;
                    break;
                case option::quiet:
                    opt.quiet = true;
                    break;
                case option::json:
                    opt.json = true;
                    break;
                case option::progress:
                    progress = 1;
                    break;
                case option::no_progress:
                    progress = 0;
                    break;
                case option::help:
                    console_append(out, usage_text);
                    return finish(0);
                case option::version:
                    console_put(out, "ctrverify " CTRCHECK_VERSION "\n");
                    return finish(0);
                default:
                    break;
            }
        } else {
            for (const char* c = arg + 1; *c != '\0' && value == nullptr; ++c) {
                if (*c == 's') {
                    opt.any_start = true;
                } else if (*c == 'q') {
                    opt.quiet = true;
                } else if (*c == 'm' || *c == 'w' || *c == 'o') {
                    o = *c == 'm' ? option::max_lines : *c == 'w' ? option::width : option::output;
                    shown = *c == 'm' ? "-m" : *c == 'w' ? "-w" : "-o";
                    if (c[1] != '\0')
                        value = c + 1;
                    else if (k + 1 < argc)
                        value = argv[++k];
                    else
                        return usage_error("option requires an argument -- '", shown + 1, "'");
                } else {
                    const char letter[2] = {*c, '\0'};
                    return usage_error("invalid option -- '", letter, "'");
                }
            }
        }
        if (value == nullptr || set_value(o, value, opt)) continue;
        if (o == option::max_lines) return usage_error("invalid number of lines: '", value, "'");
        if (o == option::skip) return usage_error("invalid number of bytes to skip: '", value, "'");
        if (o == option::bytes) return usage_error("invalid number of bytes: '", value, "'");
        if (o == option::max_breaks) return usage_error("invalid number of breaks: '", value, "'");
        if (o == option::duration || o == option::idle_timeout || o == option::interval)
            return usage_error("invalid number of seconds: '", value, "'");
        static char what[64];
        std::snprintf(what, sizeof what, "' for '%s'", shown);
        return usage_error("invalid argument '", value, what);
    }
    opt.progress = progress < 0 ? platform_is_terminal(stderr) : progress == 1;
    opt.prefix = files.size() > 1;
    if (files.empty()) files.push_back("-");
    if (report_name != nullptr) {
        // The report in a file of its own: no pipeline can lose its end.
        int err = 0;
        std::FILE* report = platform_open_write(report_name, report_append, err);
        if (report == nullptr) {
            complain(out, "%s: %s", show_name(report_name).text, std::strerror(err));
            return finish(2);
        }
        console_finish(out);
        console_open(out, report);
    }

    platform_catch_stop_signals();
    int status = 0;
    for (const char* name : files) {
        const stream_result r = stream_check(name, opt, out);
        if (r == stream_result::interrupted || out.failed) break;
        if (r == stream_result::trouble) status = 2;
        if (r == stream_result::breaks && status == 0) status = 1;
    }
    return finish(status);
}
