// Fuzz target: arbitrary bytes as a capture, through the real probe, read
// schedule, block test and check, over an in-memory stream. The report must
// match a tiny independent check written here, byte for byte.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "verify/block_scan.hpp"
#include "verify/capture_reader.hpp"
#include "verify/console.hpp"
#include "verify/continuity_check.hpp"
#include "verify/run_state.hpp"

namespace {
std::string expected_report(const std::uint8_t* data, std::size_t size) {
    std::string r = "Laenge = " + std::to_string(size - 1) + " Bytes\n";
    unsigned prev = 0;
    long long breaks = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != prev + 1 && prev != 255) {
            r += std::to_string(prev) + " " + std::to_string(data[i]) + " @ " + std::to_string(i + 1) + "\n";
            ++breaks;
        }
        prev = data[i];
    }
    char line[96];
    std::snprintf(line, sizeof line, "%.3f MBytes gelesen, %lld Fehler\n",
                  static_cast<double>(size - 1) / 1048576.0, breaks);
    return r + line;
}

console out;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // refused before anything is read; covered by the unit tests
    // Every version of the block test takes its turn.
    static const block_impl versions[] = {block_impl::portable, block_impl::avx2, block_impl::avx512};
    if (!block_impl_select(versions[size % 3])) block_impl_select(block_impl::portable);

    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    char* text = nullptr;
    std::size_t len = 0;
    console_open(out, open_memstream(&text, &len));
    run_state st;
    const bool ok = capture_probe(in, "fuzz", st, out) && capture_walk(in, "fuzz", st, out);
    if (ok) continuity_summary(st, out);
    const bool written = console_close(out);
    std::fclose(in);

    const std::string got(text, len);
    std::free(text);
    if (!ok || !written || st.l_counter != size || got != expected_report(data, size)) {
        std::fprintf(stderr, "report differs from the reference for %zu bytes\n", size);
        std::abort();
    }
    return 0;
}
