// ctrverify's command line: the table of its options, what each sets and
// how a wrong value is told, and its --help.
#pragma once

#include <string_view>

#include "check.hpp"
#include "verify/option_scan.hpp"

// What ctrverify's command line asks for.
struct verify_command {
    stream_options opt;
    const char* report_name = nullptr;  // the report's file, instead of stdout
    bool report_append = false;
    int progress = -1;                   // -1: on a terminal
    const char* counter_only = nullptr;  // an option given that only a counter has
    bool help = false, version = false;
};

extern const option_spec<verify_command> verify_options[28];

extern const std::string_view verify_usage;
