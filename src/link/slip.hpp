// The search for lock at every byte offset, for words wider than a byte: a
// break ends lock, and lock returns at the first byte from which `lock`
// words in a row are a run, on the word grid or off it (bytes lost or put
// in that are not whole words: a slip, after which the grid stays moved).
// The words of the grid are judged `lock` words late, so that none after
// the place where lock returns is judged on the old grid.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "sequence.hpp"

// The ring of grid words waiting: room for a lock's worth and more.
inline constexpr unsigned slip_queue_mask = 127;
static_assert(slip_queue_mask + 1 >= seq_lock_max + 2);

// The bytes of v in the other order.
constexpr std::uint64_t byte_swap(std::uint64_t v) {
    v = (v & 0x00ff00ff00ff00ffULL) << 8 | (v >> 8 & 0x00ff00ff00ff00ffULL);
    v = (v & 0x0000ffff0000ffffULL) << 16 | (v >> 16 & 0x0000ffff0000ffffULL);
    return v << 32 | v >> 32;
}

// The word of sizeof(T) bytes at p in the link's order, in one load.
template <class T, bool BigEndian>
inline T load_quick(const std::uint8_t* p) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, sizeof(T));
    if constexpr (std::endian::native == std::endian::little) {
        if constexpr (BigEndian) v = byte_swap(v) >> (64 - 8 * sizeof(T));
    } else {
        v = byte_swap(v);  // the bytes now sit low, in the order a little-endian load gives
        if constexpr (BigEndian) v = byte_swap(v) >> (64 - 8 * sizeof(T));
    }
    return static_cast<T>(v);
}

struct grid_word {
    std::uint64_t pos, value;  // position of the first byte, from 1
};

struct slip_search {
    bool active = false;
    std::uint64_t from = 0;       // the break's position
    std::uint64_t before = 0;     // the word before it
    std::uint64_t grid_end = 0;   // bytes up to the end of the grid's last whole word
    std::uint64_t window = 0;     // bytes the judging of a grid word waits after its end
    std::uint64_t recent = 0;     // the last 8 bytes, the newest lowest
    unsigned offset = 0;          // of the word ending at the next byte, from the break, modulo its size
    std::uint64_t last[8] = {};   // per offset: the last word,
    std::uint64_t start[8] = {};  // where its run began,
    std::uint64_t value[8] = {};  // its first word
    unsigned len[8] = {};         // and its length
    grid_word queue[slip_queue_mask + 1] = {};  // grid words not judged yet, a ring
    unsigned head = 0, count = 0;
};
