// Runs the verifier in-process over bytes held in memory, the way the tool
// runs over a file, and collects what it wrote.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "verify/run_state.hpp"

struct run_output {
    std::string out;  // standard output
    std::string err;  // standard error
    bool ok = false;  // probe and walk succeeded
    run_state st;
};

// Verifies `in` (which the call closes) as the tool does: probe, walk, summary.
run_output verify_stream(std::FILE* in);
run_output verify_bytes(const std::vector<std::uint8_t>& data);

// A perfect counter of n bytes whose first byte is `first`.
std::vector<std::uint8_t> counter_bytes(std::size_t n, std::uint8_t first = 1);

// What a straightforward byte-by-byte check reports for `data`: the break
// lines and the number of breaks, written independently of the tool's code.
struct reference_report {
    std::string lines;
    std::int64_t breaks = 0;
};
reference_report reference_check(const std::vector<std::uint8_t>& data);
