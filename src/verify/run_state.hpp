// The state of one verification run: the counters and the block buffer that
// the reader and the continuity check share.
#pragma once

#include <cstdint>

inline constexpr unsigned block_size = 1000;  // bytes per block read (not 1024)

struct run_state {
    std::uint64_t l = 0;          // size of the input minus one: index of its last byte
    std::uint64_t l_counter = 0;  // bytes handed to the check so far; 1-based position of the current byte
    std::uint8_t Byte_alt = 0;    // previous byte
    std::uint8_t Byte_neu = 0;    // byte under test
    // Breaks found. 64-bit: a capture that is broken throughout has one
    // break per byte, far beyond what 32 bits can count.
    std::int64_t error = 0;
    alignas(64) std::uint8_t SR[block_size] = {};  // block buffer, written only by block reads
};
