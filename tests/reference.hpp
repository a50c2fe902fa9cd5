// The counter rule written as plainly as it can be and apart from the tool's
// own code: the yardstick that the unit tests, the fuzz target and the
// benchmark hold the tool against.
#pragma once

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <functional>
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

// The account of the breaks of the words w (broken[k]: w[k] broke the
// rule), told as the link tester's tracker should, with `lock` words in a
// row for lock: a line per event ("KIND POS words=N value=V expected=E
// got=G from=F to=T", the fields the kind has), then the totals and the
// bits that were 1 and 0 in some word.
inline std::string reference_account(const std::vector<std::uint64_t>& w, const std::vector<bool>& broken,
                                     std::uint64_t mask, bool wrap_any, unsigned lock,
                                     const std::function<std::string(std::size_t)>& pos) {
    struct gap {
        std::uint64_t lo, hi;
        std::size_t opened;
    };
    const std::uint64_t half = mask >> 1;
    auto add = [](std::uint64_t& total, std::uint64_t n) { total = total + n < total ? ~std::uint64_t{0} : total + n; };
    auto off = [&](std::uint64_t a, std::uint64_t b) { return (a - b) & mask; };  // a - b, modulo
    auto follows = [&](std::size_t k) { return w[k] == ((w[k - 1] + 1) & mask) || (wrap_any && w[k - 1] == mask); };
    std::vector<gap> gaps;
    std::string out;
    std::uint64_t n[9] = {}, lost_words = 0, late_words = 0, corrupt_words = 0, stuck_words = 0,
                  inserted_words = 0, repeated_words = 0, bit_sum = 0, ones = 0, zeros = 0;
    std::uint64_t high = 0;
    bool high_set = false, late = false;
    std::size_t late_at = 0;
    std::uint64_t late_v = 0, late_hi = 0;
    auto end_late = [&](std::size_t end) {
        late = false;
        const std::uint64_t k = std::min<std::uint64_t>(end - late_at, off(late_hi, late_v));
        out += "late " + pos(late_at) + " words=" + std::to_string(k) + "\n";
        ++n[5], add(late_words, k), lost_words -= std::min(k, lost_words);
        for (std::size_t g = 0; g < gaps.size(); ++g) {
            if (off(late_v, gaps[g].lo) >= off(gaps[g].hi, gaps[g].lo)) continue;
            const gap was = gaps[g];
            gaps.erase(gaps.begin() + static_cast<std::ptrdiff_t>(g));
            for (const gap part : {gap{was.lo, late_v, was.opened}, gap{(late_v + k) & mask, was.hi, was.opened}}) {
                if (part.lo == part.hi) continue;
                if (gaps.size() == 16) gaps.erase(gaps.begin()), g -= g > 0 ? 1 : 0;
                gaps.insert(gaps.begin() + static_cast<std::ptrdiff_t>(g++), part);
            }
            break;
        }
    };
    for (const std::uint64_t x : w) ones |= x, zeros |= ~x & mask;
    for (std::size_t k = 0; k < w.size(); ++k) {
        if (!broken[k]) continue;
        if (late) end_late(k);
        const std::uint64_t e = ((k == 0 ? 0 : w[k - 1]) + 1) & mask;
        if (!high_set || (off(e, high) != 0 && off(e, high) <= half)) high = e;
        high_set = true;
        std::size_t q = k;  // where lock returns: `lock` words in a row, or a run to the end
        for (;; ++q) {
            std::size_t r = q + 1;
            while (r < w.size() && r < q + lock && follows(r)) ++r;
            if (r == q + lock || r == w.size()) break;
        }
        const std::size_t at = k;
        const std::uint64_t u = q - k, v = w[q];
        std::vector<std::uint64_t> offs;
        std::uint64_t differing = 0, bits = 0, came_late = 0;
        for (std::size_t i = 0; i < u; ++i) {
            std::uint64_t x = w[k + i] ^ ((e + i) & mask);
            differing += x != 0 ? 1 : 0;
            for (; x != 0; x &= x - 1) ++bits;
            offs.push_back(off(w[k + i], e));
            if (i > 0 && offs[i] < *std::max_element(offs.begin(), offs.begin() + static_cast<std::ptrdiff_t>(i))) ++came_late;
        }
        std::vector<std::uint64_t> sorted = offs;
        std::sort(sorted.begin(), sorted.end());
        bool in_order_set = u <= 1024;
        for (std::size_t i = 0; i < u; ++i) in_order_set = in_order_set && sorted[i] == i;
        const bool same = u > 0 && std::count(w.begin() + static_cast<std::ptrdiff_t>(k), w.begin() + static_cast<std::ptrdiff_t>(q), w[k]) == static_cast<std::ptrdiff_t>(u);
        auto wrong = [&] {
            if (u >= 2 && same) {
                out += "stuck " + pos(at) + " words=" + std::to_string(u) + " value=" + std::to_string(w[at]) + "\n";
                ++n[3], add(stuck_words, u);
                return;
            }
            out += "corrupt " + pos(at) + " words=" + std::to_string(differing) +
                   (u == 1 ? " expected=" + std::to_string(e) + " got=" + std::to_string(w[at]) : "") + "\n";
            ++n[0], add(corrupt_words, differing), bit_sum += bits;
        };
        k = q;
        if (u >= 2 && v == ((e + u) & mask) && in_order_set) {
            out += "late " + pos(at) + " words=" + std::to_string(came_late) + "\n";
            ++n[5], add(late_words, came_late);
        } else if (u >= 1 && v == ((e + u) & mask)) {
            wrong();
        } else if (u >= 1 && v == e) {
            out += "inserted " + pos(at) + " words=" + std::to_string(u) + (same ? " value=" + std::to_string(w[at]) : "") + "\n";
            ++n[4], add(inserted_words, u);
        } else {
            if (u >= 1) wrong();
            if (u >= 1 && high == e) high = (e + u) & mask;
            if (v == high) continue;
            if (mask >= 0xffff && (v == 0 || v == w[0])) {
                out += "restart " + pos(q) + " from=" + std::to_string(q > 0 ? w[q - 1] : 0) + " to=" + std::to_string(v) + "\n";
                ++n[6], gaps.clear(), high = v;
            } else if (off(v, high) != 0 && off(v, high) <= half) {
                out += "lost " + pos(q) + " words=" + std::to_string(off(v, high)) + "\n";
                ++n[1], add(lost_words, off(v, high));
                if (gaps.size() == 16) gaps.erase(gaps.begin());
                gaps.push_back({high, v, q});
                high = v;
            } else {
                std::erase_if(gaps, [&](const gap& g) { return half < 0xffffffffU && q - g.opened > half; });
                const auto g = std::find_if(gaps.begin(), gaps.end(), [&](const gap& x) { return off(v, x.lo) < off(x.hi, x.lo); });
                if (g != gaps.end()) {
                    late = true, late_at = q, late_v = v, late_hi = g->hi;
                } else {
                    out += "repeat " + pos(q) + " words=" + std::to_string(off(high, v)) + "\n";
                    ++n[2], add(repeated_words, off(high, v));
                }
            }
        }
    }
    if (late) end_late(w.size());
    out += "totals";
    for (const std::uint64_t x : {n[0], corrupt_words, n[1], lost_words, n[2], repeated_words, n[3], stuck_words,
                                  n[4], inserted_words, n[5], late_words, n[6], bit_sum, ones, zeros})
        out += " " + std::to_string(x);
    return out + "\n";
}

// The break lines ("ALT NEU @ POS") and the account of the breaks (see
// reference_account) of a stream of words of `size` bytes after `skip`
// bytes, judged over the whole list of words at once. With `take_first`
// the first word is not checked.
inline std::string reference_words(const std::vector<std::uint8_t>& s, std::size_t skip, bool take_first,
                                   unsigned size, bool big, bool wrap_any, unsigned lock) {
    const std::uint64_t mask = size == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1;
    std::vector<std::uint64_t> w;
    for (std::size_t i = skip; i + size <= s.size(); i += size) {
        std::uint64_t v = 0;
        for (unsigned j = 0; j < size; ++j) v |= std::uint64_t{s[i + j]} << (8 * (big ? size - 1 - j : j));
        w.push_back(v);
    }
    auto pos = [&](std::size_t k) { return std::to_string(skip + k * size + 1); };
    std::string breaks;
    std::vector<bool> broken(w.size());
    for (std::size_t k = take_first ? 1 : 0; k < w.size(); ++k) {
        const std::uint64_t prev = k == 0 ? 0 : w[k - 1];
        broken[k] = w[k] != ((prev + 1) & mask) && !(wrap_any && prev == mask);
        if (broken[k]) breaks += std::to_string(prev) + " " + std::to_string(w[k]) + " @ " + pos(k) + "\n";
    }
    return breaks + reference_account(w, broken, mask, wrap_any, lock, pos);
}
