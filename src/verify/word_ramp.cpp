// The whole-block test for words wider than a byte: the block compared with
// the ramp of words it should hold, a vector of words at a time.

#include <cstddef>

#include "block_scan.hpp"
#include "run_state.hpp"
#include "word_load.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CTR_X86 1
#include <immintrin.h>
#else
#define CTR_X86 0
#endif

namespace {
using detail::load_word;

// Non-zero when a word from byte `from` on is off the ramp; `want` is the
// word that should stand at `from`.
template <class T, bool BigEndian>
T misfit(const std::uint8_t* b, std::size_t from, T want) {
    T acc = 0;
    for (std::size_t i = from; i < block_size; i += sizeof(T), ++want)
        acc = static_cast<T>(acc | (load_word<T, BigEndian>(b + i) ^ want));
    return acc;
}

template <class T, bool BigEndian>
bool ramp_portable(const std::uint8_t* b, std::uint64_t prev) {
    return misfit<T, BigEndian>(b, 0, static_cast<T>(prev + 1)) == 0;
}

template <block_impl Impl>
bool ramp_bytes(const std::uint8_t* b, std::uint64_t prev) {
    return block_impl_fn(Impl)(b, static_cast<std::uint8_t>(prev));
}

#if CTR_X86
// The vector code below is the same for AVX2 and AVX-512 but for the type
// and its intrinsics: W is the vector width in bytes.
template <class T, std::size_t W>
struct ramp_setup {
    static constexpr std::size_t lanes = W / sizeof(T);
    alignas(64) T start[lanes]{};        // the first vector's words
    alignas(64) std::uint8_t swap[W]{};  // byte order reversed within each word
    explicit ramp_setup(std::uint64_t prev) {
        for (std::size_t i = 0; i < lanes; ++i) start[i] = static_cast<T>(prev + 1 + i);
        for (std::size_t i = 0; i < W; ++i)
            swap[i] =
                static_cast<std::uint8_t>(i % 16 / sizeof(T) * sizeof(T) + sizeof(T) - 1 - i % sizeof(T));
    }
};

template <class T, bool BigEndian>
[[gnu::target("avx2")]] bool ramp_avx2(const std::uint8_t* b, std::uint64_t prev) {
    const ramp_setup<T, 32> s(prev);
    __m256i want = _mm256_load_si256(reinterpret_cast<const __m256i*>(s.start));
    const __m256i swap = _mm256_load_si256(reinterpret_cast<const __m256i*>(s.swap));
    __m256i acc = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= block_size; i += 32) {
        __m256i got = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        if constexpr (BigEndian) got = _mm256_shuffle_epi8(got, swap);
        acc = _mm256_or_si256(acc, _mm256_xor_si256(got, want));
        if constexpr (sizeof(T) == 2)
            want = _mm256_add_epi16(want, _mm256_set1_epi16(static_cast<short>(s.lanes)));
        if constexpr (sizeof(T) == 4)
            want = _mm256_add_epi32(want, _mm256_set1_epi32(static_cast<int>(s.lanes)));
        if constexpr (sizeof(T) == 8)
            want = _mm256_add_epi64(want, _mm256_set1_epi64x(static_cast<long long>(s.lanes)));
    }
    return _mm256_testz_si256(acc, acc) != 0 &&
           misfit<T, BigEndian>(b, i, static_cast<T>(prev + 1 + i / sizeof(T))) == 0;
}

template <class T, bool BigEndian>
[[gnu::target("avx512f,avx512bw")]] bool ramp_avx512(const std::uint8_t* b, std::uint64_t prev) {
    const ramp_setup<T, 64> s(prev);
    __m512i want = _mm512_load_si512(s.start);
    const __m512i swap = _mm512_load_si512(s.swap);
    __m512i acc = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 64 <= block_size; i += 64) {
        __m512i got = _mm512_loadu_si512(b + i);
        if constexpr (BigEndian) got = _mm512_shuffle_epi8(got, swap);
        acc = _mm512_or_si512(acc, _mm512_xor_si512(got, want));
        if constexpr (sizeof(T) == 2)
            want = _mm512_add_epi16(want, _mm512_set1_epi16(static_cast<short>(s.lanes)));
        if constexpr (sizeof(T) == 4)
            want = _mm512_add_epi32(want, _mm512_set1_epi32(static_cast<int>(s.lanes)));
        if constexpr (sizeof(T) == 8)
            want = _mm512_add_epi64(want, _mm512_set1_epi64(static_cast<long long>(s.lanes)));
    }
    return _mm512_test_epi64_mask(acc, acc) == 0 &&
           misfit<T, BigEndian>(b, i, static_cast<T>(prev + 1 + i / sizeof(T))) == 0;
}
#endif

}  // namespace

word_ramp_fn word_ramp(block_impl impl, unsigned bytes, bool big_endian) {
    // The versions of each implementation, by word size and byte order.
    static constexpr word_ramp_fn portable[] = {
        ramp_portable<std::uint16_t, false>, ramp_portable<std::uint16_t, true>,
        ramp_portable<std::uint32_t, false>, ramp_portable<std::uint32_t, true>,
        ramp_portable<std::uint64_t, false>, ramp_portable<std::uint64_t, true>};
#if CTR_X86
    static constexpr word_ramp_fn avx2[] = {ramp_avx2<std::uint16_t, false>, ramp_avx2<std::uint16_t, true>,
                                            ramp_avx2<std::uint32_t, false>, ramp_avx2<std::uint32_t, true>,
                                            ramp_avx2<std::uint64_t, false>, ramp_avx2<std::uint64_t, true>};
    static constexpr word_ramp_fn avx512[] = {
        ramp_avx512<std::uint16_t, false>, ramp_avx512<std::uint16_t, true>,
        ramp_avx512<std::uint32_t, false>, ramp_avx512<std::uint32_t, true>,
        ramp_avx512<std::uint64_t, false>, ramp_avx512<std::uint64_t, true>};
#endif
    const std::size_t k = (bytes == 2 ? 0 : bytes == 4 ? 2 : 4) + (big_endian ? 1 : 0);
    switch (impl) {
#if CTR_X86
        case block_impl::avx2:
            return bytes == 1 ? ramp_bytes<block_impl::avx2> : avx2[k];
        case block_impl::avx512:
            return bytes == 1 ? ramp_bytes<block_impl::avx512> : avx512[k];
#endif
        default:
            return bytes == 1 ? ramp_bytes<block_impl::portable> : portable[k];
    }
}
