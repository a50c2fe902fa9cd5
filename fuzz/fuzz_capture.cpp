// Fuzz target: arbitrary bytes as a capture, through the real probe, read
// schedule, block test and check, with every block test version the
// processor has. Each report must match the plain reference check byte for
// byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "harness.hpp"
#include "reference.hpp"
#include "verify/block_scan.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // refused before anything is read; covered by the unit tests
    const std::string want = reference_report(data, size);
    for (block_impl v : {block_impl::portable, block_impl::avx2, block_impl::avx512}) {
        if (!block_impl_select(v)) continue;
        const run_output r = verify_bytes(data, size);
        if (!r.ok || r.st.l_counter != size || r.out != want) {
            std::fprintf(stderr, "%s: report differs from the reference for %zu bytes\n", block_impl_name(v),
                         size);
            std::abort();
        }
    }
    return 0;
}
