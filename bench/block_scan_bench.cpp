// Bytes per second of each whole-block test version on a clean block.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "verify/block_scan.hpp"
#include "verify/run_state.hpp"

namespace {
void block_test(benchmark::State& state, block_impl impl) {
    if (!block_impl_select(impl)) {
        state.SkipWithError("not available on this processor");
        return;
    }
    std::vector<std::uint8_t> block(block_size);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i + 1);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(block_continues(block.data(), 0));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * block_size);
}
BENCHMARK_CAPTURE(block_test, portable, block_impl::portable);
BENCHMARK_CAPTURE(block_test, avx2, block_impl::avx2);
BENCHMARK_CAPTURE(block_test, avx512, block_impl::avx512);

// The same for a clean block of 32-bit little-endian words.
void word32_test(benchmark::State& state, block_impl impl) {
    if (!block_impl_available(impl)) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const word_ramp_fn ramp = word_ramp(impl, 4, false);
    std::vector<std::uint8_t> block(block_size);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>((i / 4 + 1) >> (8 * (i % 4)));
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(ramp(block.data(), 0));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * block_size);
}
BENCHMARK_CAPTURE(word32_test, portable, block_impl::portable);
BENCHMARK_CAPTURE(word32_test, avx2, block_impl::avx2);
BENCHMARK_CAPTURE(word32_test, avx512, block_impl::avx512);
}  // namespace
