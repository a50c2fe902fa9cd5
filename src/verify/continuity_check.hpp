// The counter rule: every byte is one more than the byte before it, except
// that the byte after a 255 may be anything. Breaks are counted in `error`
// and reported as "<previous> <current> @ <position>" as they are found.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "console.hpp"
#include "run_state.hpp"

namespace detail {
// "0 " .. "255 ": each entry is 4 bytes so that it can be copied whole; the
// length byte tells how many of them count.
struct decimal_byte {
    char text[4];
    std::uint8_t len;
};

constexpr std::array<decimal_byte, 256> make_decimal_bytes() {
    std::array<decimal_byte, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        decimal_byte& d = t[v];
        char* p = d.text;
        if (v >= 100) *p++ = static_cast<char>('0' + v / 100);
        if (v >= 10) *p++ = static_cast<char>('0' + v / 10 % 10);
        *p++ = static_cast<char>('0' + v % 10);
        *p++ = ' ';
        d.len = static_cast<std::uint8_t>(p - d.text);
    }
    return t;
}
inline constexpr std::array<decimal_byte, 256> decimal_bytes = make_decimal_bytes();

inline void emit_break(const run_state& st, console& out) {
    char* p = console_reserve(out);
    const decimal_byte& a = decimal_bytes[st.Byte_alt];
    const decimal_byte& b = decimal_bytes[st.Byte_neu];
    std::memcpy(p, a.text, 4);
    p += a.len;
    std::memcpy(p, b.text, 4);
    p += b.len;
    *p++ = '@';
    *p++ = ' ';
    p = std::to_chars(p, p + 20, st.l_counter).ptr;
    *p++ = '\n';
    console_commit(out, p);
}
}  // namespace detail

// The counter rule for one byte and its predecessor.
inline bool is_break(std::uint8_t alt, std::uint8_t neu) {
    // Wider than 8 bits on purpose: after a 255 the expected value is 256,
    // which no byte matches, and the exemption applies.
    const int expected = alt + 1;
    return neu != expected && alt != 255;
}

// Checks Byte_neu against Byte_alt at position l_counter; on a break, counts
// it and reports it.
inline void continuity_check(run_state& st, console& out) {
    if (!is_break(st.Byte_alt, st.Byte_neu)) return;
    ++st.error;
    detail::emit_break(st, out);
}

// Shifts each of the n bytes at p into the run state and checks it, in order.
void continuity_walk(run_state& st, const std::uint8_t* p, std::size_t n, console& out);

// Checks the full block in SR: a cheap whole-block test first, the byte walk
// only when the block may hold a break.
void continuity_block(run_state& st, console& out);

// Prints "<l / 2^20 with three decimals> MBytes gelesen, <error> Fehler".
void continuity_summary(const run_state& st, console& out);
