// The hint for a stream that breaks from its start: whether its first bytes
// are an unbroken counter under other options (width, byte order, start).
#pragma once

#include <cstddef>
#include <cstdint>

#include "counter.hpp"

// The bytes kept for the hint: the stream's first ones.
inline constexpr std::size_t hint_bytes = 4096;
// ... and the fewest a hint is given for.
inline constexpr std::size_t hint_least = 64;

struct stream_hint {
    bool found = false;
    unsigned width = 0;  // bits
    bool big_endian = false;
    std::uint64_t skip = 0;
    std::size_t bytes = 0;  // the bytes looked at
};

// The first `n` bytes of a stream at `p`, checked with `fmt` after `skip`
// bytes and the word before the first taken as `before` (or any with
// `any_start`): when they break, the first other width, order and start
// (0 to 63 bytes) under which they are an unbroken counter after their
// first word.
stream_hint find_hint(const std::uint8_t* p, std::size_t n, word_format fmt, std::uint64_t skip,
                      bool any_start, std::uint64_t before);
