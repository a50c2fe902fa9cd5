// The whole-block test of a PRBS in sync: do all 32 units of a 256-byte
// block follow the rule (each bit the XOR of the bits n and k before it)?
// A portable version, and one for AVX2 picked at run time.
#include <cstring>

#include "prbs.hpp"
#include "slip.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CTR_PRBS_X86 1
#include <immintrin.h>
#else
#define CTR_PRBS_X86 0
#endif

namespace {
bool block_portable(const std::uint8_t* p, std::uint64_t prev, unsigned n, unsigned k, std::uint64_t sense) {
    std::uint64_t acc = 0;
    for (std::size_t i = 0; i < prbs_block_bytes; i += 8) {
        const auto x = load_quick<std::uint64_t, true>(p + i);
        acc |= x ^ ((prev << (64 - n)) | (x >> n)) ^ ((prev << (64 - k)) | (x >> k)) ^ sense;
        prev = x;
    }
    return acc == 0;
}

#if CTR_PRBS_X86
// Four units a vector; the unit before each comes from a lane permute, the
// first lane's from the vector before.
[[gnu::target("avx2")]] bool block_avx2(const std::uint8_t* p, std::uint64_t prev, unsigned n, unsigned k,
                                        std::uint64_t sense) {
    const __m256i swap = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3,
                                          2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    const __m128i left_n = _mm_cvtsi32_si128(static_cast<int>(64 - n));
    const __m128i right_n = _mm_cvtsi32_si128(static_cast<int>(n));
    const __m128i left_k = _mm_cvtsi32_si128(static_cast<int>(64 - k));
    const __m128i right_k = _mm_cvtsi32_si128(static_cast<int>(k));
    const __m256i want = _mm256_set1_epi64x(static_cast<long long>(sense));
    __m256i last = _mm256_set1_epi64x(static_cast<long long>(prev));
    __m256i acc = _mm256_setzero_si256();
    for (std::size_t i = 0; i < prbs_block_bytes; i += 32) {
        __m256i raw;
        std::memcpy(&raw, p + i, sizeof raw);
        const __m256i x = _mm256_shuffle_epi8(raw, swap);
        const __m256i before =
            _mm256_blend_epi32(_mm256_permute4x64_epi64(x, 0x90), _mm256_permute4x64_epi64(last, 0xff), 0x03);
        const __m256i a = _mm256_or_si256(_mm256_sll_epi64(before, left_n), _mm256_srl_epi64(x, right_n));
        const __m256i b = _mm256_or_si256(_mm256_sll_epi64(before, left_k), _mm256_srl_epi64(x, right_k));
        acc = _mm256_or_si256(acc, _mm256_xor_si256(_mm256_xor_si256(x, a), _mm256_xor_si256(b, want)));
        last = x;
    }
    return _mm256_testz_si256(acc, acc) != 0;
}
#endif
}  // namespace

prbs_block_fn prbs_block(block_impl impl) {
#if CTR_PRBS_X86
    if (impl != block_impl::portable && block_impl_available(block_impl::avx2)) return block_avx2;
#endif
    (void)impl;
    return block_portable;
}
