// ctrcheck: verifies that a captured byte stream carries an unbroken 8-bit
// counter and reports every place where it breaks.
//
//   ctrcheck [-i FILE]...    (default FILE: capture.dat; the last -i decides)

#include <cstdio>
#include <cstring>

#include "verify/capture_reader.hpp"
#include "verify/console.hpp"
#include "verify/continuity_check.hpp"
#include "verify/platform.hpp"
#include "verify/run_state.hpp"

namespace {
console out;

// Ends the run: a report that could not be written is trouble (status 1).
int finish(int status) {
    return console_end_run(out, status, 1);
}
}  // namespace

int main(int argc, char** argv) {
    platform_args(argc, argv);
    platform_catch_stop_signals();
    platform_catch_status_signals();
    run_state st;
    console_open(out, stdout);

    std::FILE* in = nullptr;
    const char* name = "capture.dat";
    int open_err = 0;
    int input = 0;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "-i") != 0) continue;  // anything else is ignored
        if (k + 1 > argc - 1) {
            if (in != nullptr) std::fclose(in);
            console_put(out, "NO FILENAME!\n");
            return finish(0);
        }
        // The next argument is the file name, whatever it looks like.
        ++k;
        if (in != nullptr) std::fclose(in);  // a later -i replaces it unread
        name = argv[k];
        in = platform_open(name, open_err);
        input = 1;
    }
    if (input == 0) {
        console_put(out, "FILE = capture.dat\n");
        in = platform_open(name, open_err);
    }
    if (in == nullptr) {
        capture_open_failed(name, open_err, out);
        return finish(1);
    }

    int status = 0;
    if (!capture_probe(in, name, st, out) || !capture_walk(in, name, st, out))
        status = 1;
    else if (!out.failed)
        continuity_summary(st, out);
    std::fclose(in);
    return finish(status);
}
