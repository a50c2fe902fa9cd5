// Words of a link loaded from its bytes, in the link's byte order whatever
// the host's: the counter's check and its whole-block test share them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace detail {
// The word of sizeof(T) bytes at p.
template <class T, bool BigEndian>
inline T load_word(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v = v << 8 | p[BigEndian ? i : sizeof(T) - 1 - i];
    return static_cast<T>(v);
}

// The same for a size known only at run time.
inline std::uint64_t load_word(const std::uint8_t* p, unsigned size, bool big_endian) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i) v = v << 8 | p[big_endian ? i : size - 1 - i];
    return v;
}
}  // namespace detail
