#include "harness.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "verify/capture_reader.hpp"
#include "verify/console.hpp"
#include "verify/continuity_check.hpp"

run_output verify_stream(std::FILE* in) {
    run_output r;
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* sink = open_memstream(&text, &size);
    auto out = std::make_unique<console>();
    console_open(*out, sink);
    testing::internal::CaptureStderr();
    r.ok = capture_probe(in, "mem", r.st, *out) && capture_walk(in, "mem", r.st, *out);
    if (r.ok) continuity_summary(r.st, *out);
    console_close(*out);
    r.err = testing::internal::GetCapturedStderr();
    std::fclose(in);
    r.out.assign(text, size);
    std::free(text);
    return r;
}

run_output verify_bytes(const std::vector<std::uint8_t>& data) {
    // fmemopen wants a non-null buffer even for zero bytes.
    static std::uint8_t none = 0;
    void* buf = data.empty() ? &none : const_cast<std::uint8_t*>(data.data());
    return verify_stream(fmemopen(buf, data.size(), "rb"));
}

std::vector<std::uint8_t> counter_bytes(std::size_t n, std::uint8_t first) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

reference_report reference_check(const std::vector<std::uint8_t>& data) {
    reference_report r;
    unsigned prev = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned b = data[i];
        if (b != prev + 1 && prev != 255) {
            r.lines += std::to_string(prev) + " " + std::to_string(b) + " @ " + std::to_string(i + 1) + "\n";
            ++r.breaks;
        }
        prev = b;
    }
    return r;
}
