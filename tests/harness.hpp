// Runs the verifier in-process over bytes in a scratch file, the way the tool
// runs over a capture, and collects what it wrote. No test framework is
// needed, so the fuzz target uses it too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "verify/console.hpp"
#include "verify/run_state.hpp"

struct run_output {
    std::string out;  // standard output
    std::string err;  // standard error
    bool ok = false;  // probe and walk succeeded
    run_state st;
};

// A name for a new file in the temporary folder; nothing is there yet.
std::filesystem::path scratch_path();

// A new empty file open for binary reading and writing, removed again at
// the latest when the process ends.
std::FILE* scratch_file();

// Attaches `out` to a scratch file, and its diagnostics to another.
void console_on_scratch(console& out);

// A scratch file holding `data`, positioned at its start.
std::FILE* scratch_with(const std::uint8_t* data, std::size_t size);

// Everything in `f`, read from its start.
std::string read_back(std::FILE* f);

// Verifies `in` (which the call closes) as the tool does: probe, walk, summary.
run_output verify_stream(std::FILE* in);
run_output verify_bytes(const std::uint8_t* data, std::size_t size);
inline run_output verify_bytes(const std::vector<std::uint8_t>& data) {
    return verify_bytes(data.data(), data.size());
}

// What `fill` writes through a console onto a scratch file.
template <class F>
std::string captured(F fill) {
    static console out;  // 64 KiB of buffer: not on the stack
    console_open(out, scratch_file());
    fill(out);
    console_finish(out);
    std::string s = read_back(out.stream);
    console_close(out);
    return s;
}

// A perfect counter of n bytes whose first byte is `first`.
std::vector<std::uint8_t> counter_bytes(std::size_t n, std::uint8_t first = 1);
