#include "block_scan.hpp"

#include <cstddef>

#include "run_state.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CTR_X86 1
#include <immintrin.h>
#else
#define CTR_X86 0
#endif

bool block_continues_portable(const std::uint8_t* b, std::uint8_t prev) {
    // Branch-free and 8 bits wide so that the compiler turns it into vector
    // code with whatever the baseline target offers.
    std::uint8_t acc = static_cast<std::uint8_t>(b[0] ^ static_cast<std::uint8_t>(prev + 1));
    for (std::size_t i = 1; i < block_size; ++i)
        acc |= static_cast<std::uint8_t>(b[i] ^ static_cast<std::uint8_t>(b[i - 1] + 1));
    return acc == 0;
}

#if CTR_X86
namespace {
// Both vector versions compare b[i] with b[i-1] + 1 for i = 1..999 in full
// vectors, the last one overlapping its neighbour so that no byte past the
// block is touched, and b[0] with prev + 1 on its own.

// Lanes of b[i..i+w) that are not b[i-1..i-1+w) + 1 are non-zero.
[[gnu::target("avx2")]] inline __m256i misfit_avx2(const std::uint8_t* p, __m256i one) {
    const __m256i cur = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
    return _mm256_xor_si256(cur, _mm256_add_epi8(before, one));
}

[[gnu::target("avx2")]] bool block_continues_avx2(const std::uint8_t* b, std::uint8_t prev) {
    constexpr std::size_t w = 32;
    const __m256i one = _mm256_set1_epi8(1);
    __m256i acc = misfit_avx2(b + block_size - w, one);
    for (std::size_t i = 1; i + w <= block_size; i += w) acc = _mm256_or_si256(acc, misfit_avx2(b + i, one));
    return _mm256_testz_si256(acc, acc) != 0 && b[0] == static_cast<std::uint8_t>(prev + 1);
}

[[gnu::target("avx512f,avx512bw")]] inline __m512i misfit_avx512(const std::uint8_t* p, __m512i one) {
    const __m512i cur = _mm512_loadu_si512(p);
    const __m512i before = _mm512_loadu_si512(p - 1);
    return _mm512_xor_si512(cur, _mm512_add_epi8(before, one));
}

[[gnu::target("avx512f,avx512bw")]] bool block_continues_avx512(const std::uint8_t* b,
                                                                  std::uint8_t prev) {
    constexpr std::size_t w = 64;
    const __m512i one = _mm512_set1_epi8(1);
    __m512i acc = misfit_avx512(b + block_size - w, one);
    for (std::size_t i = 1; i + w <= block_size; i += w) acc = _mm512_or_si512(acc, misfit_avx512(b + i, one));
    return _mm512_test_epi64_mask(acc, acc) == 0 && b[0] == static_cast<std::uint8_t>(prev + 1);
}
}  // namespace
#endif

bool block_impl_available(block_impl impl) {
    switch (impl) {
        case block_impl::portable:
            return true;
#if CTR_X86
        case block_impl::avx2:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") != 0;
        case block_impl::avx512:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0;
#else
        default:
            return false;
#endif
    }
    return false;
}

namespace {
block_test_fn impl_fn(block_impl impl) {
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
    block_continues_active = impl_fn(impl);
    return true;
}

block_impl block_impl_active() {
    if (block_continues_active == resolve_and_test) block_impl_select(best_impl());
    return active;
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
