// Whole-block test for the counter: does every byte of a 1000-byte block
// equal its predecessor plus one, modulo 256? Such a block holds no break,
// whatever its wraps. A block that fails may still be clean (the byte after a
// 255 is free), so a failure means "walk it byte by byte", nothing more. The
// same test for words of 16, 32 and 64 bits in either byte order.
//
// A portable version is always built; vector versions are picked at run time
// when the processor has them, and each can be forced for testing.
#pragma once

#include <cstdint>

enum class block_impl { portable, avx2, avx512 };

// Fast test of SR-sized block b, whose first byte follows `prev`.
bool block_continues_portable(const std::uint8_t* b, std::uint8_t prev);

// True when this build has `impl` and the processor can run it.
bool block_impl_available(block_impl impl);

// Makes `impl` the version block_continues uses; false (and no change) when it
// is not available.
bool block_impl_select(block_impl impl);

// The version in use: the fastest available one unless another was selected.
block_impl block_impl_active();

// Goes back to the default: the fastest available version, settled on at
// the next block test.
void block_impl_reset();

const char* block_impl_name(block_impl impl);

using block_test_fn = bool (*)(const std::uint8_t*, std::uint8_t);

// The function that implements `impl` in this build (the portable one where
// the build lacks it).
block_test_fn block_impl_fn(block_impl impl);

extern block_test_fn block_continues_active;

inline bool block_continues(const std::uint8_t* b, std::uint8_t prev) {
    return block_continues_active(b, prev);
}

// The whole-block test for words of `bytes` bytes (1, 2, 4 or 8; the byte
// order counts from 2 up): does block b hold the words prev + 1, prev + 2,
// ..., modulo 2^(8 bytes)? The version `impl` where this build has it,
// else the portable one.
using word_ramp_fn = bool (*)(const std::uint8_t* b, std::uint64_t prev);
word_ramp_fn word_ramp(block_impl impl, unsigned bytes, bool big_endian);
