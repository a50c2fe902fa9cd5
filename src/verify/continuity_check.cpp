#include "continuity_check.hpp"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "block_scan.hpp"

void continuity_walk(run_state& st, const std::uint8_t* p, std::size_t n, console& out) {
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
            detail::emit_break(st, out);
        }
    }
    st.Byte_alt = alt;
    st.Byte_neu = neu;
    st.l_counter = pos;
}

void continuity_block(run_state& st, console& out) {
    if (block_continues(st.SR, st.Byte_neu)) {
        // Same state as walking it: no breaks, the last two bytes shifted in.
        st.l_counter += block_size;
        st.Byte_alt = st.SR[block_size - 2];
        st.Byte_neu = st.SR[block_size - 1];
        return;
    }
    continuity_walk(st, st.SR, block_size, out);
}

void continuity_summary(const run_state& st, console& out) {
    // The figure is the size minus one, as it always has been; scripts compare it.
    const double mbytes = static_cast<double>(st.l) / 1048576.0;
    // to_chars rounds the exact binary value the same way on every C library;
    // printf's "%.3f" does not (0.0625 gives 0.062 with glibc, 0.063 with msvcrt).
    constexpr std::string_view middle = " MBytes gelesen, ";
    constexpr std::string_view tail = " Fehler\n";
    char line[console_max_line];
    char* const end = line + sizeof line;
    char* p = std::to_chars(line, end, mbytes, std::chars_format::fixed, 3).ptr;
    p = std::copy(middle.begin(), middle.end(), p);
    p = std::to_chars(p, end, st.error).ptr;
    p = std::copy(tail.begin(), tail.end(), p);
    console_put(out, std::string_view(line, static_cast<std::size_t>(p - line)));
}
