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

// The break lines ("ALT NEU @ POS") and the account of the breaks of a
// stream of words of `size` bytes after `skip` bytes, judged over the whole
// stream at once, with `lock` words in a row for lock (with `take_first`
// the first word is not checked): a line per event ("KIND POS words=N
// value=V expected=E got=G from=F to=T bytes=B", the fields the kind has),
// then the totals, the bits that were 1 and 0 in some word, and the bytes
// left over after the last whole word.
inline std::string reference_words(const std::vector<std::uint8_t>& s, std::size_t skip, bool take_first,
                                   unsigned size, bool big, bool wrap_any, unsigned lock) {
    struct gap {
        std::uint64_t lo, hi;
        std::size_t opened;
    };
    const std::uint64_t mask = size == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1;
    const std::uint64_t half = mask >> 1;
    auto fits = [&](std::size_t at) { return at + size <= s.size(); };
    auto load = [&](std::size_t at) {
        std::uint64_t v = 0;
        for (unsigned j = 0; j < size; ++j) v |= std::uint64_t{s[at + j]} << (8 * (big ? size - 1 - j : j));
        return v;
    };
    auto follows = [&](std::uint64_t a, std::uint64_t b) {
        return b == ((a + 1) & mask) || (wrap_any && a == mask);
    };
    auto off = [&](std::uint64_t a, std::uint64_t b) { return (a - b) & mask; };  // a - b, modulo
    auto add = [](std::uint64_t& total, std::uint64_t n) {
        total = total + n < total ? ~std::uint64_t{0} : total + n;
    };
    auto num = [](std::uint64_t v) { return std::to_string(v); };
    std::vector<gap> gaps;
    std::string breaks, out;
    std::uint64_t n[10] = {}, lost_words = 0, late_words = 0, corrupt_words = 0, stuck_words = 0,
                  inserted_words = 0, repeated_words = 0, bit_sum = 0, ones = 0, zeros = 0;
    std::uint64_t high = 0, late_v = 0, late_hi = 0, alt = 0, first = 0;
    bool high_set = false, late = false, started = false;
    std::size_t late_at = 0, at = skip;
    auto seen = [&](std::uint64_t x) { ones |= x, zeros |= ~x & mask; };
    auto brk = [&](std::uint64_t a, std::uint64_t b, std::size_t p) {
        breaks += num(a) + " " + num(b) + " @ " + num(p + 1) + "\n";
    };
    auto end_late = [&](std::size_t end) {
        late = false;
        const std::uint64_t k = std::min<std::uint64_t>((end - late_at) / size, off(late_hi, late_v));
        out += "late " + num(late_at) + " words=" + num(k) + "\n";
        ++n[5], add(late_words, k), lost_words -= std::min(k, lost_words);
        for (std::size_t g = 0; g < gaps.size(); ++g) {
            if (off(late_v, gaps[g].lo) >= off(gaps[g].hi, gaps[g].lo)) continue;
            const gap was = gaps[g];
            gaps.erase(gaps.begin() + static_cast<std::ptrdiff_t>(g));
            for (const gap part :
                 {gap{was.lo, late_v, was.opened}, gap{(late_v + k) & mask, was.hi, was.opened}}) {
                if (part.lo == part.hi) continue;
                if (gaps.size() == 16) gaps.erase(gaps.begin()), g -= g > 0 ? 1 : 0;
                gaps.insert(gaps.begin() + static_cast<std::ptrdiff_t>(g++), part);
            }
            break;
        }
    };
    auto run_at = [&](std::size_t q) {  // `lock` words in a row from byte q
        if (!fits(q + (lock - 1) * std::size_t{size})) return false;
        for (std::size_t i = 1; i < lock; ++i)
            if (!follows(load(q + (i - 1) * size), load(q + i * size))) return false;
        return true;
    };
    while (fits(at)) {
        const std::uint64_t x = load(at);
        if (!started) {
            started = true, first = x;
            if (take_first) {
                seen(alt = x), at += size;
                continue;
            }
        }
        seen(x);
        if (follows(alt, x)) {
            alt = x, at += size;
            continue;
        }
        const std::size_t p = at;
        const std::uint64_t e = (alt + 1) & mask, before_p = alt;
        brk(alt, x, p);
        if (late) end_late(p + 1);
        if (!high_set || (off(e, high) != 0 && off(e, high) <= half)) high = e;
        high_set = true;
        // Lock: the first byte with `lock` words in a row, else where the
        // grid's words run to the end.
        std::size_t q = p;
        while (fits(q + (lock - 1) * std::size_t{size}) && !run_at(q)) ++q;
        if (!run_at(q)) {
            for (q = p; fits(q + size);) q += size;
            while (q > p && follows(load(q - size), load(q))) q -= size;
        }
        std::vector<std::uint64_t> span;  // the grid's words wholly before q, judged
        alt = x;
        for (std::size_t g = p; g + size <= q; g += size) {
            const std::uint64_t y = load(g);
            if (g != p) {
                seen(y);
                if (!follows(alt, y)) brk(alt, y, g);
                alt = y;
            }
            span.push_back(y);
        }
        const std::uint64_t v = load(q), before = q == p ? before_p : alt;
        if (q != p && !follows(alt, v)) brk(alt, v, q);
        seen(v);
        alt = v, at = q + size;
        if ((q - p) % size != 0) out += "slip " + num(q + 1) + " bytes=" + num((q - p) % size) + "\n", ++n[9];
        const std::uint64_t u = span.size();
        std::uint64_t differing = 0, bits = 0, came_late = 0, top = 0;
        std::vector<std::uint64_t> offs;
        for (std::size_t i = 0; i < u; ++i) {
            std::uint64_t d = span[i] ^ ((e + i) & mask);
            differing += d != 0 ? 1 : 0;
            for (; d != 0; d &= d - 1) ++bits;
            offs.push_back(off(span[i], e));
            if (i > 0 && offs[i] < top) ++came_late;
            top = std::max(top, offs[i]);
        }
        std::sort(offs.begin(), offs.end());
        bool in_order_set = u <= 1024;
        for (std::size_t i = 0; i < u; ++i) in_order_set = in_order_set && offs[i] == i;
        const bool same =
            u > 0 && std::count(span.begin(), span.end(), span[0]) == static_cast<std::ptrdiff_t>(u);
        auto wrong = [&] {
            if (u >= 2 && same) {
                out += "stuck " + num(p + 1) + " words=" + num(u) + " value=" + num(span[0]) + "\n";
                ++n[3], add(stuck_words, u);
                return;
            }
            out += "corrupt " + num(p + 1) + " words=" + num(differing) +
                   (u == 1 ? " expected=" + num(e) + " got=" + num(span[0]) : "") + "\n";
            ++n[0], add(corrupt_words, differing), bit_sum += bits;
        };
        if (u >= 2 && v == ((e + u) & mask) && in_order_set) {
            out += "late " + num(p + 1) + " words=" + num(came_late) + "\n";
            ++n[5], add(late_words, came_late);
        } else if (u >= 1 && v == ((e + u) & mask)) {
            wrong();
        } else if (u >= 1 && v == e) {
            out +=
                "inserted " + num(p + 1) + " words=" + num(u) + (same ? " value=" + num(span[0]) : "") + "\n";
            ++n[4], add(inserted_words, u);
        } else {
            if (u >= 1) wrong();
            if (u >= 1 && high == e) high = (e + u) & mask;
            if (v == high) continue;
            if (mask >= 0xffff && (v == 0 || v == first)) {
                out += "restart " + num(q + 1) + " from=" + num(before) + " to=" + num(v) + "\n";
                ++n[6], gaps.clear(), high = v;
            } else if (off(v, high) != 0 && off(v, high) <= half) {
                out += "lost " + num(q + 1) + " words=" + num(off(v, high)) + "\n";
                ++n[1], add(lost_words, off(v, high));
                if (gaps.size() == 16) gaps.erase(gaps.begin());
                gaps.push_back({high, v, q + 1});
                high = v;
            } else {
                std::erase_if(gaps, [&](const gap& g) {
                    return half < 0xffffffffU && q + 1 - g.opened >= (half + 1) * size;
                });
                const auto g = std::find_if(gaps.begin(), gaps.end(),
                                            [&](const gap& y) { return off(v, y.lo) < off(y.hi, y.lo); });
                if (g != gaps.end()) {
                    late = true, late_at = q + 1, late_v = v, late_hi = g->hi;
                } else {
                    out += "repeat " + num(q + 1) + " words=" + num(off(high, v)) + "\n";
                    ++n[2], add(repeated_words, off(high, v));
                }
            }
        }
    }
    if (late) end_late(at + 1);
    out += "totals";
    for (const std::uint64_t x :
         {n[0], corrupt_words, n[1], lost_words, n[2], repeated_words, n[3], stuck_words, n[4],
          inserted_words, n[5], late_words, n[6], n[9], bit_sum, ones, zeros, std::uint64_t{s.size() - at}})
        out.append(" ").append(std::to_string(x));  // not " " + ...: g++ 12 warns of a false overlap
    return breaks + out + "\n";
}
