// ctrverify: checks that files, devices, pipes or standard input carry an
// unbroken 8-bit counter, for scripts, CI gates and live link tests: the
// exit status says whether there was a break.
//
//   ctrverify [OPTION]... [FILE]...    (no FILE, or -: standard input)

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "verify/console.hpp"
#include "verify/platform.hpp"
#include "verify/stream_check.hpp"

namespace {
console out;

constexpr std::string_view usage_text =
    "Usage: ctrverify [OPTION]... [FILE]...\n"
    "Check that each FILE carries an unbroken 8-bit counter: every byte one more\n"
    "than the byte before it, the byte after a 255 free, the byte before the\n"
    "first taken as 0. With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  -s, --any-start     the first byte may have any value (a capture that\n"
    "                        starts mid-stream); the check starts with the second\n"
    "  -q, --quiet         print only the summaries, no break lines\n"
    "  -m, --max-lines=N   print at most N break lines per FILE; counting goes on\n"
    "      --json          print one JSON object per FILE, one per line\n"
    "      --progress      show progress on standard error even when it is not\n"
    "                        a terminal (it is shown on a terminal anyway)\n"
    "      --no-progress   never show progress\n"
    "      --help          display this help and exit\n"
    "      --version       output version information and exit\n"
    "\n"
    "Each break is a line \"PREVIOUS CURRENT @ POSITION\", the position counted\n"
    "from 1; with more than one FILE the line starts with \"FILE: \". Each FILE\n"
    "ends with a line \"FILE: N bytes, M breaks\".\n"
    "\n"
    "Exit status is 0 if every FILE was read to its end without a break, 1 if\n"
    "some FILE has a break, 2 if trouble: a FILE that could not be read, a\n"
    "failed write, a wrong option. SIGINT, SIGTERM and SIGHUP end the run after\n"
    "a summary marked \"interrupted\" of what was read.\n";

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

enum class option { any_start, quiet, max_lines, json, progress, no_progress, help, version, none };

struct long_option {
    std::string_view name;
    option opt;
};
constexpr long_option long_options[] = {
    {"any-start", option::any_start}, {"quiet", option::quiet},       {"max-lines", option::max_lines},
    {"json", option::json},           {"progress", option::progress}, {"no-progress", option::no_progress},
    {"help", option::help},           {"version", option::version},
};

// The long option that `name` names in full or by a prefix of only one.
option find_long(std::string_view name) {
    option found = option::none;
    for (const long_option& o : long_options) {
        if (o.name == name) return o.opt;
        if (o.name.substr(0, name.size()) == name) {
            if (found != option::none) return option::none;
            found = o.opt;
        }
    }
    return found;
}

bool parse_count(const char* text, std::uint64_t& n) {
    const char* end = text + std::strlen(text);
    const auto [p, ec] = std::from_chars(text, end, n);
    return ec == std::errc() && p == end && p != text;
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
        const char* value = nullptr;  // the argument of -m
        if (arg[1] == '-') {
            if (arg[2] == '\0') {
                options_end = true;
                continue;
            }
            std::string_view name(arg + 2);
            const std::size_t eq = name.find('=');
            const option o = find_long(name.substr(0, eq));
            if (o == option::none) return usage_error("unrecognized option '", arg, "'");
            if (o == option::max_lines) {
                if (eq != std::string_view::npos)
                    value = arg + 2 + eq + 1;
                else if (k + 1 < argc)
                    value = argv[++k];
                else
                    return usage_error("option '", "--max-lines", "' requires an argument");
            } else if (eq != std::string_view::npos) {
                return usage_error("option '", arg, "' doesn't allow an argument");
            }
            switch (o) {
                case option::any_start:
                    opt.any_start = true;
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
                } else if (*c == 'm') {
                    if (c[1] != '\0')
                        value = c + 1;
                    else if (k + 1 < argc)
                        value = argv[++k];
                    else
                        return usage_error("option requires an argument -- '", "m", "'");
                } else {
                    const char letter[2] = {*c, '\0'};
                    return usage_error("invalid option -- '", letter, "'");
                }
            }
        }
        if (value != nullptr && !parse_count(value, opt.max_lines))
            return usage_error("invalid number of lines: '", value, "'");
    }
    opt.progress = progress < 0 ? platform_is_terminal(stderr) : progress == 1;
    opt.prefix = files.size() > 1;
    if (files.empty()) files.push_back("-");

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
