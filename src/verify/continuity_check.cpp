#include "continuity_check.hpp"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "block_scan.hpp"

void continuity_walk(run_state& st, const std::uint8_t* p, std::size_t n, console& out) {
    continuity_walk_with(st, p, n, [&out](const run_state& s) { detail::emit_break(s, out); });
}

bool continuity_skip_block(run_state& st, const std::uint8_t* p) {
    if (!block_continues(p, st.Byte_neu)) return false;
    st.l_counter += block_size;
    st.Byte_alt = p[block_size - 2];
    st.Byte_neu = p[block_size - 1];
    return true;
}

void continuity_block(run_state& st, const std::uint8_t* block, console& out) {
    if (!continuity_skip_block(st, block)) continuity_walk(st, block, block_size, out);
}

namespace {
// Writes l / 2^20, taken as a double as it always has been, with three
// decimals, rounded to nearest and half-way values to even: what glibc's
// "%.3f" prints. Integer arithmetic gives those same bytes with every C
// library (msvcrt rounds half-way values otherwise), needs no floating-point
// formatting from the C++ runtime, and needs nothing wider than 64 bits.
char* put_mbytes(char* p, std::uint64_t l) {
    // The double is an integer of at most 2^64; the quotient is exact in
    // binary, so only the step to three decimals rounds. The size is taken
    // apart into whole MiB and the bytes beyond them, so that no product
    // needs more than 64 bits; from 2^63 on the top bit is split off first,
    // since 2^64 itself fits no 64-bit integer.
    constexpr double two63 = 9223372036854775808.0;
    const auto d = static_cast<double>(l);
    std::uint64_t mib = 0;
    std::uint64_t bytes = 0;
    if (d >= two63) {
        const auto low = static_cast<std::uint64_t>(d - two63);
        mib = (std::uint64_t{1} << 43) + (low >> 20);
        bytes = low & 0xfffff;
    } else {
        const auto size = static_cast<std::uint64_t>(d);
        mib = size >> 20;
        bytes = size & 0xfffff;
    }
    const std::uint64_t scaled = bytes * 1000;  // below 2^30
    std::uint64_t thousandths = mib * 1000 + (scaled >> 20);
    const std::uint64_t rest = scaled & 0xfffff;
    constexpr std::uint64_t half = 0x80000;
    if (rest > half || (rest == half && thousandths % 2 == 1)) ++thousandths;
    p = std::to_chars(p, p + 20, thousandths / 1000).ptr;
    const auto frac = static_cast<unsigned>(thousandths % 1000);
    *p++ = '.';
    *p++ = static_cast<char>('0' + frac / 100);
    *p++ = static_cast<char>('0' + frac / 10 % 10);
    *p++ = static_cast<char>('0' + frac % 10);
    return p;
}
}  // namespace

void continuity_summary(const run_state& st, console& out) {
    // The figure is the size minus one, as it always has been; scripts compare it.
    constexpr std::string_view middle = " MBytes gelesen, ";
    constexpr std::string_view tail = " Fehler\n";
    // The longest figure is 2^64 / 2^20, "17592186044416.000"; the longest
    // count has 19 digits and a sign.
    static_assert(18 + middle.size() + 20 + tail.size() <= console_max_line);
    char line[console_max_line];
    char* p = put_mbytes(line, st.l);
    p = std::copy(middle.begin(), middle.end(), p);
    p = std::to_chars(p, line + sizeof line, st.error).ptr;
    p = std::copy(tail.begin(), tail.end(), p);
    console_put(out, std::string_view(line, static_cast<std::size_t>(p - line)));
}
