#include "block_scan.hpp"

#include <cstddef>

#include "platform.hpp"
#include "run_state.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CTR_X86 1
#include <immintrin.h>
#else
#define CTR_X86 0
#endif

// A block is perfect when b[i] == prev + 1 + i (mod 256) for every i: compared
// that way, each byte is loaded once and no load straddles the stores that
// just filled the buffer, which would stall store-to-load forwarding.

bool block_continues_portable(const std::uint8_t* b, std::uint8_t prev) {
    // Branch-free and 8 bits wide so that the compiler turns it into vector
    // code with whatever the baseline target offers.
    auto want = static_cast<std::uint8_t>(prev + 1);
    std::uint8_t acc = 0;
    for (std::size_t i = 0; i < block_size; ++i) {
        acc |= static_cast<std::uint8_t>(b[i] ^ want);
        ++want;
    }
    return acc == 0;
}

#if CTR_X86
namespace {
// The last bytes of a block that a whole number of vectors does not cover;
// non-zero if any of them is off the ramp that starts at `first`.
std::uint8_t misfit_tail(const std::uint8_t* b, std::size_t from, std::uint8_t first) {
    std::uint8_t acc = 0;
    for (std::size_t i = from; i < block_size; ++i)
        acc |= static_cast<std::uint8_t>(b[i] ^ static_cast<std::uint8_t>(first + i));
    return acc;
}

[[gnu::target("avx2")]] bool block_continues_avx2(const std::uint8_t* b, std::uint8_t prev) {
    constexpr std::size_t w = 32;
    const auto first = static_cast<std::uint8_t>(prev + 1);
    const __m256i iota = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                          19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    const __m256i step = _mm256_set1_epi8(static_cast<char>(w));
    __m256i want = _mm256_add_epi8(_mm256_set1_epi8(static_cast<char>(first)), iota);
    __m256i acc = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + w <= block_size; i += w) {
        const __m256i got = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        acc = _mm256_or_si256(acc, _mm256_xor_si256(got, want));
        want = _mm256_add_epi8(want, step);
    }
    return _mm256_testz_si256(acc, acc) != 0 && misfit_tail(b, i, first) == 0;
}

[[gnu::target("avx512f,avx512bw")]] bool block_continues_avx512(const std::uint8_t* b, std::uint8_t prev) {
    constexpr std::size_t w = 64;
    const auto first = static_cast<std::uint8_t>(prev + 1);
    alignas(64) static constexpr std::uint8_t iota_bytes[w] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
        44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    const __m512i step = _mm512_set1_epi8(static_cast<char>(w));
    __m512i want = _mm512_add_epi8(_mm512_set1_epi8(static_cast<char>(first)), _mm512_load_si512(iota_bytes));
    __m512i acc = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + w <= block_size; i += w) {
        acc = _mm512_or_si512(acc, _mm512_xor_si512(_mm512_loadu_si512(b + i), want));
        want = _mm512_add_epi8(want, step);
    }
    // The remaining 40 bytes: one masked load, which touches nothing past the block.
    constexpr std::size_t rest = block_size - (block_size / w) * w;
    const __mmask64 mask = (std::uint64_t{1} << rest) - 1;
    acc = _mm512_or_si512(
        acc, _mm512_xor_si512(_mm512_maskz_loadu_epi8(mask, b + i), _mm512_maskz_mov_epi8(mask, want)));
    return _mm512_test_epi64_mask(acc, acc) == 0;
}
}  // namespace
#endif

bool block_impl_available(block_impl impl) {
    switch (impl) {
        case block_impl::portable:
            return true;
#if CTR_X86
        case block_impl::avx2:
            return platform_cpu_has_avx2();
        case block_impl::avx512:
            return platform_cpu_has_avx512bw();
#else
        default:
            return false;
#endif
    }
    return false;
}

block_test_fn block_impl_fn(block_impl impl) {
    switch (impl) {
#if CTR_X86
        case block_impl::avx2:
            return block_continues_avx2;
        case block_impl::avx512:
            return block_continues_avx512;
#endif
        default:
            return block_continues_portable;
    }
}

namespace {
block_impl best_impl() {
    if (block_impl_available(block_impl::avx512)) return block_impl::avx512;
    if (block_impl_available(block_impl::avx2)) return block_impl::avx2;
    return block_impl::portable;
}

block_impl active = block_impl::portable;

// First call: settle on the fastest version, then hand over to it.
bool resolve_and_test(const std::uint8_t* b, std::uint8_t prev) {
    block_impl_select(best_impl());
    return block_continues_active(b, prev);
}
}  // namespace

block_test_fn block_continues_active = resolve_and_test;

bool block_impl_select(block_impl impl) {
    if (!block_impl_available(impl)) return false;
    active = impl;
    block_continues_active = block_impl_fn(impl);
    return true;
}

block_impl block_impl_active() {
    if (block_continues_active == resolve_and_test) block_impl_select(best_impl());
    return active;
}

void block_impl_reset() {
    block_continues_active = resolve_and_test;
}

const char* block_impl_name(block_impl impl) {
    switch (impl) {
        case block_impl::portable:
            return "portable";
        case block_impl::avx2:
            return "avx2";
        case block_impl::avx512:
            return "avx512";
    }
    return "?";
}
