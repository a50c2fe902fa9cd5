// The counter rule written as plainly as it can be and apart from the tool's
// own code: the yardstick that the unit tests, the fuzz target and the
// benchmark hold the tool against.
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

struct reference_check {
    std::uint64_t pos = 0;  // 1-based position of the byte fed last
    std::int64_t breaks = 0;
    unsigned prev = 0;  // the byte before it
    unsigned cur = 0;   // the byte fed last

    // Feeds the next byte of the capture; true when it breaks the counter.
    bool next(unsigned b) {
        prev = cur;
        cur = b;
        ++pos;
        const bool broken = b != prev + 1 && prev != 255;
        breaks += broken ? 1 : 0;
        return broken;
    }

    std::string line() const {
        return std::to_string(prev) + " " + std::to_string(cur) + " @ " + std::to_string(pos) + "\n";
    }
};

// Everything the tool writes on standard output for a capture of these bytes
// (size at least 1), or only the break lines.
inline std::string reference_report(const std::uint8_t* data, std::size_t size, bool breaks_only = false) {
    std::string r = breaks_only ? "" : "Laenge = " + std::to_string(size - 1) + " Bytes\n";
    reference_check check;
    for (std::size_t i = 0; i < size; ++i)
        if (check.next(data[i])) r += check.line();
    if (breaks_only) return r;
    char summary[96];
    std::snprintf(summary, sizeof summary, "%.3f MBytes gelesen, %" PRId64 " Fehler\n",
                  static_cast<double>(size - 1) / 1048576.0, check.breaks);
    return r + summary;
}
