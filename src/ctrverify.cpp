// ctrverify: checks that files, devices, pipes or standard input carry an
// unbroken counter of 8 to 64 bits, for scripts, CI gates and live link
// tests: the exit status says whether there was a break, and each break is
// diagnosed.
//
//   ctrverify [OPTION]... [FILE]...    (no FILE, or -: standard input)

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "link/check.hpp"
#include "link/options.hpp"
#include "link/state.hpp"
#include "verify/console.hpp"
#include "verify/option_scan.hpp"
#include "verify/platform.hpp"

namespace {
// Ends the run: a report that could not be written is trouble (status 2).
int finish(console& out, int status) {
    return console_end_run(out, status, 2);
}

// The message of a wrong command line, the pointer to --help, status 2.
int usage_error(console& out, const option_error& err) {
    complain(out, "%s%s%s", err.before, show_name(err.what).text, err.after);
    platform_put_line(stderr, "Try 'ctrverify --help' for more information.\n");
    return finish(out, 2);
}
}  // namespace

int main(int argc, char** argv) {
    platform_args(argc, argv);
    // The console and the check's state hold large buffers: not on the stack.
    const auto out_ptr = std::make_unique<console>();
    console& out = *out_ptr;
    out.program = "ctrverify";
    console_open(out, stdout);

    verify_command cmd;
    std::vector<const char*> files;
    const auto err = std::make_unique<option_error>();
    if (!scan_options(verify_options, argc, argv, cmd, files, *err)) return usage_error(out, *err);
    if (cmd.help) {
        console_append(out, verify_usage);
        return finish(out, 0);
    }
    if (cmd.version) {
        console_put(out, "ctrverify " CTRCHECK_VERSION "\n");
        return finish(out, 0);
    }
    stream_options& opt = cmd.opt;
    opt.progress = cmd.progress < 0 ? platform_is_terminal(stderr) : cmd.progress == 1;
    opt.prefix = files.size() > 1;
    if (files.empty()) files.push_back("-");
    if (cmd.report_append && cmd.report_name == nullptr) {
        detail::scan_fail(*err, "option '--append' requires '--output'", "", "");
        return usage_error(out, *err);
    }
    const std::uint64_t mask =
        opt.fmt.bytes >= 8 ? UINT64_MAX : (std::uint64_t{1} << (8 * opt.fmt.bytes)) - 1;
    if (opt.first_given && (opt.any_start || opt.first > mask)) {
        if (opt.any_start)
            detail::scan_fail(*err, "options '--first' and '--any-start' exclude each other", "", "");
        else
            detail::scan_fail(*err, "invalid first word: '", opt.first_text, "' is wider than the width");
        return usage_error(out, *err);
    }
    if (opt.prbs_on && cmd.counter_only != nullptr) {
        detail::scan_fail(*err, "option '", cmd.counter_only, "' is for a counter, not for a PRBS pattern");
        return usage_error(out, *err);
    }
    opt.prbs.bytes = opt.fmt.bytes;
    opt.prbs.big_endian = opt.fmt.big_endian;
    if (cmd.report_name != nullptr) {
        // The report in a file of its own: no pipeline can lose its end.
        int open_err = 0;
        std::FILE* report = platform_open_write(cmd.report_name, cmd.report_append, open_err);
        if (report == nullptr) {
            complain(out, "%s: %s", show_name(cmd.report_name).text, std::strerror(open_err));
            return finish(out, 2);
        }
        console_finish(out);
        console_open(out, report);
        opt.summary_on_stderr = platform_is_terminal(stderr);
    }
    // A report into one of its own inputs would empty it, or read itself
    // back without end.
    for (const char* name : files) {
        if (!platform_same_file(name, out.stream)) continue;
        complain(out, "%s: input file is output file", show_name(name).text);
        return finish(out, 2);
    }
    int empty_err = 0;
    if (cmd.report_name != nullptr && !cmd.report_append && !platform_empty_file(out.stream, empty_err)) {
        complain(out, "%s: %s", show_name(cmd.report_name).text, std::strerror(empty_err));
        return finish(out, 2);
    }

    platform_catch_stop_signals();
    const auto check = std::make_unique<link_check>();
    int status = 0;
    for (const char* name : files) {
        const stream_result r = stream_check(*check, name, opt, out);
        if (r == stream_result::interrupted || out.failed) break;
        if (r == stream_result::trouble) status = 2;
        if (r == stream_result::breaks && status == 0) status = 1;
    }
    return finish(out, status);
}
