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

// Writes "<alt> <neu> @ <pos>\n" at p (at most 30 bytes) and gives its end.
inline char* format_break(char* p, std::uint8_t alt, std::uint8_t neu, std::uint64_t pos) {
    const decimal_byte& a = decimal_bytes[alt];
    const decimal_byte& b = decimal_bytes[neu];
    std::memcpy(p, a.text, 4);
    p += a.len;
    std::memcpy(p, b.text, 4);
    p += b.len;
    *p++ = '@';
    *p++ = ' ';
    p = std::to_chars(p, p + 20, pos).ptr;
    *p++ = '\n';
    return p;
}

inline void emit_break(const run_state& st, console& out) {
    console_commit(out, format_break(console_reserve(out), st.Byte_alt, st.Byte_neu, st.l_counter));
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

// Shifts each of the n bytes at p into the run state and checks it, in
// order; each break is counted and handed to report(st), with st up to date.
template <class Report>
void continuity_walk_with(run_state& st, const std::uint8_t* p, std::size_t n, Report&& report) {
    // Locals, because every store into st could alias p and force reloads; st
    // is brought up to date before each report and at the end.
    std::uint8_t alt = st.Byte_alt;
    std::uint8_t neu = st.Byte_neu;
    std::uint64_t pos = st.l_counter;
    for (std::size_t i = 0; i < n; ++i) {
        alt = neu;
        neu = p[i];
        ++pos;
        if (is_break(alt, neu)) {
            st.Byte_alt = alt;
            st.Byte_neu = neu;
            st.l_counter = pos;
            ++st.error;
            report(static_cast<const run_state&>(st));
        }
    }
    st.Byte_alt = alt;
    st.Byte_neu = neu;
    st.l_counter = pos;
}

// continuity_walk_with, each break reported on `out` as a line.
void continuity_walk(run_state& st, const std::uint8_t* p, std::size_t n, console& out);

// Whole-block test of the block_size bytes at p: when they continue the
// counter, shifts them in (no breaks, the last two bytes in Byte_alt and
// Byte_neu) and gives true; else changes nothing and gives false.
bool continuity_skip_block(run_state& st, const std::uint8_t* p);

// Checks the full block of block_size bytes at `block` (SR, or the same
// bytes where the stream buffered them): a cheap whole-block test first,
// the byte walk only when the block may hold a break.
void continuity_block(run_state& st, const std::uint8_t* block, console& out);

// Prints "<l / 2^20 with three decimals> MBytes gelesen, <error> Fehler".
void continuity_summary(const run_state& st, console& out);
