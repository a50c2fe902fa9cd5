// The counter rule written as plainly as it can be and apart from the tool's
// own code: the yardstick that the unit tests, the fuzz target and the
// benchmark hold the tool against.
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// The break lines ("ALT NEU @ POS") and the events ("corrupt POS EXPECTED
// GOT", "lost POS N", "repeat POS N") of a stream of words of `size` bytes
// after `skip` bytes, judged over the whole list of words at once. With
// `take_first` the first word is not checked.
inline std::string reference_words(const std::vector<std::uint8_t>& s, std::size_t skip, bool take_first,
                                   unsigned size, bool big, bool wrap_any) {
    const std::uint64_t mask = size == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1;
    std::vector<std::uint64_t> w;
    for (std::size_t i = skip; i + size <= s.size(); i += size) {
        std::uint64_t v = 0;
        for (unsigned j = 0; j < size; ++j) v |= std::uint64_t{s[i + j]} << (8 * (big ? size - 1 - j : j));
        w.push_back(v);
    }
    auto pos = [&](std::size_t k) { return std::to_string(skip + k * size + 1); };
    std::string breaks, events;
    std::vector<bool> broken(w.size());
    for (std::size_t k = take_first ? 1 : 0; k < w.size(); ++k) {
        const std::uint64_t prev = k == 0 ? 0 : w[k - 1];
        broken[k] = w[k] != ((prev + 1) & mask) && !(wrap_any && prev == mask);
        if (broken[k]) breaks += std::to_string(prev) + " " + std::to_string(w[k]) + " @ " + pos(k) + "\n";
    }
    for (std::size_t k = 0; k < w.size(); ++k) {
        if (!broken[k]) continue;
        const std::uint64_t e = ((k == 0 ? 0 : w[k - 1]) + 1) & mask;
        if (k + 1 < w.size() && w[k + 1] == ((e + 1) & mask)) {
            events += "corrupt " + pos(k) + " " + std::to_string(e) + " " + std::to_string(w[k]) + "\n";
            ++k;  // the word that mends it belongs to the event
            continue;
        }
        const std::uint64_t d = (w[k] - e) & mask;
        events += (d <= mask / 2 ? "lost " + pos(k) + " " + std::to_string(d)
                                 : "repeat " + pos(k) + " " + std::to_string((mask - d + 1) & mask)) +
                  "\n";
    }
    return breaks + events;
}
