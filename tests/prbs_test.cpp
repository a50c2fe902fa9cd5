#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "link/prbs.hpp"

namespace {

// "KIND A B ...": a line of the check, or its figures, as the tests compare
// them (built without string sums, which g++ 12 at -O3 warns of falsely).
std::string text_of(const char* kind, std::initializer_list<std::uint64_t> values) {
    std::ostringstream o;
    o << kind;
    for (const std::uint64_t v : values) o << " " << v;
    return o.str();
}

struct fmt_case {
    unsigned bytes;
    bool big, lsb, inverted;
    bit_order order;
    prbs_choice invert;
};

// Bit i of the stream of words of `f` from `bytes`, and the byte that holds it.
unsigned stream_bit(const std::vector<std::uint8_t>& bytes, const fmt_case& f, bool lsb, std::size_t i) {
    const std::size_t w = std::size_t{f.bytes} * 8, t = i % w, bit = lsb ? t : w - 1 - t;
    const std::size_t at = i / w * f.bytes + (f.big ? f.bytes - 1 - bit / 8 : bit / 8);
    return (bytes[at] >> (bit % 8)) & 1U;
}
std::uint64_t byte_pos(const fmt_case& f, bool lsb, std::size_t i) {
    const std::size_t w = std::size_t{f.bytes} * 8, t = i % w, bit = lsb ? t : w - 1 - t;
    return i / w * f.bytes + (f.big ? f.bytes - 1 - bit / 8 : bit / 8) + 1;
}

// The check as its rule reads, a bit at a time: each candidate state in
// turn, then the reference run on from it, sync lost at 32 wrong of 128.
// Lines as "sync P", "error P MASK", "loss P"; figures after them.
std::vector<std::string> reference(const std::vector<std::uint8_t>& bytes, const fmt_case& f, unsigned n,
                                   unsigned k) {
    std::vector<std::string> out;
    const std::size_t total = bytes.size() / f.bytes * f.bytes * 8;
    std::uint64_t checked = 0, errors = 0, losses = 0;
    bool fixed = false, lsb = false, inv = false;
    std::size_t from = 0;
    while (true) {
        // The earliest sync (the end of its 64 bits) over the orders and senses allowed.
        std::size_t best = SIZE_MAX, best_p = 0;
        bool best_lsb = false, best_inv = false;
        for (int o = 0; o < 2; ++o) {
            const bool l = o == 1;
            if (fixed ? l != lsb : f.order == (l ? bit_order::msb : bit_order::lsb)) continue;
            for (std::size_t p = from; p + n + 64 <= total && p + n + 63 < best; ++p) {
                for (int s = 0; s < 2; ++s) {
                    const bool i = s == 1;
                    if (fixed ? i != inv : f.invert == (i ? prbs_choice::no : prbs_choice::yes)) continue;
                    auto b = [&](std::size_t j) { return stream_bit(bytes, f, l, j) ^ (i ? 1U : 0U); };
                    bool zero = true, good = true;
                    for (std::size_t j = p + n; j < p + n + 64 && good; ++j)
                        good = b(j) == (b(j - n) ^ b(j - k));
                    for (std::size_t j = p; j < p + n && good; ++j) zero = zero && b(j) == 0;
                    if (!zero && good && p + n + 63 < best) {
                        best = p + n + 63;
                        best_p = p;
                        best_lsb = l;
                        best_inv = i;
                    }
                }
                if (best != SIZE_MAX) break;
            }
        }
        if (best == SIZE_MAX) break;
        fixed = true;
        lsb = best_lsb;
        inv = best_inv;
        out.push_back(text_of("sync", {byte_pos(f, lsb, best_p)}));
        std::vector<unsigned> ref;
        for (std::size_t j = best_p; j < best_p + n; ++j) ref.push_back(stream_bit(bytes, f, lsb, j) ^ inv);
        std::deque<bool> window;
        unsigned wrong = 0;
        std::size_t j = best_p + n;
        std::size_t word = SIZE_MAX;
        std::uint64_t mask = 0;
        auto flush = [&] {
            if (mask != 0) out.push_back(text_of("error", {word * f.bytes + 1, mask}));
            mask = 0;
        };
        for (; j < total; ++j) {
            const unsigned e = ref[ref.size() - n] ^ ref[ref.size() - k];
            ref.push_back(e);
            const bool bad = (stream_bit(bytes, f, lsb, j) ^ inv) != e;
            ++checked;
            window.push_back(bad);
            wrong += bad;
            if (window.size() > 128) {
                wrong -= window.front();
                window.pop_front();
            }
            if (!bad) continue;
            ++errors;
            const std::size_t w = std::size_t{f.bytes} * 8;
            if (j / w != word) flush();
            word = j / w;
            mask |= std::uint64_t{1} << (lsb ? j % w : w - 1 - j % w);
            if (wrong >= 32) break;
        }
        flush();
        if (j >= total) break;
        ++losses;
        out.push_back(text_of("loss", {byte_pos(f, lsb, j)}));
        from = j + 1;
    }
    out.push_back(text_of("figures", {checked, errors, losses, total - checked}));
    return out;
}

void collect(void* to, const prbs_line& l) {
    auto& v = *static_cast<std::vector<std::string>*>(to);
    const char* kind[] = {"error", "sync", "loss"};
    v.push_back(l.kind == prbs_line::errored_word ? text_of("error", {l.pos, l.mask})
                                                  : text_of(kind[l.kind], {l.pos}));
}

// Every pattern, width, byte and bit order and sense, from a random phase,
// with single bit errors, bursts, bits lost or put in (slips), junk and a
// dead line, fed in random pieces, for each block test: the lines and
// figures of the reference.
TEST(Prbs, CheckMatchesTheReference) {
    std::mt19937_64 rng(35);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same inputs every run
    auto below = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const fmt_case formats[] = {
        {1, false, false, false, bit_order::automatic, prbs_choice::automatic},
        {1, false, true, true, bit_order::automatic, prbs_choice::automatic},
        {2, true, false, true, bit_order::msb, prbs_choice::yes},
        {4, false, true, false, bit_order::lsb, prbs_choice::no},
        {8, true, true, false, bit_order::automatic, prbs_choice::no},
        {4, true, false, false, bit_order::automatic, prbs_choice::automatic},
    };
    for (unsigned round = 0; round < 48; ++round) {
        const fmt_case& f = formats[round % std::size(formats)];
        const prbs_pattern& pat = prbs_patterns[round % prbs_pattern_count];
        std::vector<unsigned> bits;
        for (unsigned i = 0; i < pat.n; ++i) bits.push_back(static_cast<unsigned>(rng() & 1));
        bits[below(pat.n)] = 1;
        std::vector<unsigned> line;
        for (std::size_t i = 0; i < 40000; ++i) {
            if (i >= bits.size()) bits.push_back(bits[i - pat.n] ^ bits[i - pat.k]);
            unsigned b = bits[i] ^ (f.inverted ? 1U : 0U);
            const auto fault = rng() % 6000;
            if (fault == 0) b ^= 1;                                            // a bit error
            if (fault == 1) continue;                                          // a bit lost
            if (fault == 2) line.push_back(static_cast<unsigned>(rng() & 1));  // a bit put in
            if (fault == 3)                                                    // a burst, or junk
                for (std::size_t j = below(round % 3 == 0 ? 400 : 40); j > 0; --j) line.push_back(rng() & 1);
            if (fault == 4)  // a dead line
                for (std::size_t j = below(300); j > 0; --j) line.push_back(f.inverted);
            line.push_back(b);
        }
        line.erase(line.begin(), line.begin() + static_cast<long>(rng() % 20));  // a random phase
        std::vector<std::uint8_t> bytes((line.size() / 8) + 1 + below(f.bytes), 0);
        for (std::size_t i = 0; i < line.size() / (std::size_t{f.bytes} * 8) * f.bytes * 8; ++i) {
            const std::size_t w = std::size_t{f.bytes} * 8, t = i % w, bit = f.lsb ? t : w - 1 - t;
            const std::size_t at = i / w * f.bytes + (f.big ? f.bytes - 1 - bit / 8 : bit / 8);
            bytes[at] = static_cast<std::uint8_t>(bytes[at] | (line[i] << (bit % 8)));
        }
        prbs_format pf;
        pf.pattern = round % prbs_pattern_count;
        pf.bytes = f.bytes;
        pf.big_endian = f.big;
        pf.order = f.order;
        pf.invert = f.invert;
        // Each block test in turn; AVX2 where the processor has it.
        if (!block_impl_select(round % 2 == 0 ? block_impl::portable : block_impl::avx2))
            block_impl_select(block_impl::portable);
        std::vector<std::string> got;
        prbs_state s;
        prbs_start(s, pf, 0, prbs_sink{&got, collect});
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t len = std::min(bytes.size() - at, static_cast<std::size_t>(rng() % 700 + 1));
            prbs_feed(s, bytes.data() + at, len, 0);
            at += len;
        }
        prbs_end(s);
        got.push_back(text_of("figures", {s.bits, s.bit_errors, s.sync_losses, prbs_unsynced_bits(s)}));
        const std::vector<std::string> want = reference(bytes, f, pat.n, pat.k);
        const auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
        EXPECT_TRUE(diff.first == got.end() && diff.second == want.end())
            << "round " << round << ", " << pat.name << ": line " << diff.first - got.begin() << " is "
            << (diff.first == got.end() ? "missing" : *diff.first) << ", not "
            << (diff.second == want.end() ? "there" : *diff.second);
        EXPECT_EQ(s.fed, bytes.size());
    }
    block_impl_reset();
}

// What the generator writes is the pattern, clean from the first byte.
TEST(Prbs, GeneratorWritesThePattern) {
    for (unsigned p = 0; p < prbs_pattern_count; ++p) {
        const fmt_case f{4, p % 2 == 0, p % 3 == 0, p % 4 == 1, bit_order::automatic, prbs_choice::automatic};
        prbs_format pf;
        pf.pattern = p;
        pf.bytes = f.bytes;
        pf.big_endian = f.big;
        std::vector<std::uint8_t> bytes(4096);
        std::uint64_t history = 0x5a5a5a5a5a5a5a5aULL;
        prbs_fill(bytes.data(), bytes.size(), history, pf, f.lsb, f.inverted);
        const std::uint64_t n = prbs_patterns[p].n;
        const std::vector<std::string> want{text_of("sync", {byte_pos(f, f.lsb, 0)}),
                                            text_of("figures", {std::uint64_t{4096} * 8 - n, 0, 0, n})};
        EXPECT_EQ(reference(bytes, f, prbs_patterns[p].n, prbs_patterns[p].k), want) << prbs_patterns[p].name;
    }
}

// Seconds by their bit errors at 10^4 bits a second (F none, E one, S ten,
// a bit error ratio of 1e-3): errored, severely errored, error-free and
// unavailable as counted, ten SES in a row and ten others in a row turning
// availability.
TEST(ErrorSeconds, CountAsTheStandardDoes) {
    struct row {
        const char* seconds;
        std::uint64_t es, ses, efs, uas;
    } const rows[] = {
        {"FFEF", 1, 0, 3, 0},
        {"FSSSSSSSSSF", 9, 9, 2, 0},
        {"FSSSSSSSSSSF", 0, 0, 1, 11},
        {"SSSSSSSSSSFFFFEFFFFFS", 2, 1, 9, 10},
        {"SSSSSSSSSSFFFFFSSFFFFFFFFFF", 0, 0, 10, 17},
    };
    for (const row& r : rows) {
        error_seconds e;
        e.line_rate = 10000;
        es_begin(e, 0);
        const std::string s = r.seconds;
        for (std::size_t i = 0; i < s.size(); ++i) {
            es_goto(e, i);
            e.errors += s[i] == 'S' ? 10 : s[i] == 'E' ? 1 : 0;
        }
        es_finish(e, 10000);
        EXPECT_EQ((std::vector<std::uint64_t>{e.es, e.ses, e.efs, e.uas}),
                  (std::vector<std::uint64_t>{r.es, r.ses, r.efs, r.uas}))
            << r.seconds;
    }
}

}  // namespace
