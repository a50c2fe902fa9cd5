// The check of a PRBS, fast path first: in sync, a unit whose bits each are
// the XOR of the bits n and k places before them (the syndrome is zero) is
// error-free when the n bits before it were, so a clean stream costs a few
// shifts per 8 bytes. Only a unit that fails the test is compared with the
// reference, which runs on from the state found at sync, so that one wrong
// bit on the line counts once.
#include "prbs.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "slip.hpp"

namespace {
// Swaps the bytes within each word of `bytes` bytes.
std::uint64_t swap_within(std::uint64_t x, unsigned bytes) {
    if (bytes >= 2) x = ((x >> 8) & 0x00ff00ff00ff00ffULL) | ((x & 0x00ff00ff00ff00ffULL) << 8);
    if (bytes >= 4) x = ((x >> 16) & 0x0000ffff0000ffffULL) | ((x & 0x0000ffff0000ffffULL) << 16);
    if (bytes >= 8) x = (x >> 32) | (x << 32);
    return x;
}

// Reverses the bits of each byte.
std::uint64_t reverse_bytes_bits(std::uint64_t x) {
    x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
    x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
    return ((x >> 4) & 0x0f0f0f0f0f0f0f0fULL) | ((x & 0x0f0f0f0f0f0f0f0fULL) << 4);
}

// The bytes' order (first byte most significant) to the bit stream's, and
// back: the map is its own inverse.
std::uint64_t bit_stream(std::uint64_t x, unsigned bytes, bool big_endian, bool lsb) {
    if (!big_endian) x = swap_within(x, bytes);
    return lsb ? swap_within(reverse_bytes_bits(x), bytes) : x;
}

// The 8 bytes at p, the first most significant, in one load.
std::uint64_t load_big(const std::uint8_t* p) {
    return load_quick<std::uint64_t, true>(p);
}

// The `n` bits ending at offset o of the unit x (after the unit `prev`).
std::uint64_t window(std::uint64_t prev, std::uint64_t x, unsigned o) {
    return o == 63 ? x : (prev << (o + 1)) | (x >> (63 - o));
}

// The syndrome of unit x after `prev`: a bit set where the rule fails.
std::uint64_t syndrome(std::uint64_t prev, std::uint64_t x, unsigned n, unsigned k) {
    return x ^ ((prev << (64 - n)) | (x >> n)) ^ ((prev << (64 - k)) | (x >> k));
}

std::uint64_t bit_mask(unsigned o) {  // the bit at offset o of a unit
    return std::uint64_t{1} << (63 - o);
}

// The byte, from 1, that holds bit `bit` of the stream.
std::uint64_t byte_of_bit(const prbs_state& s, std::uint64_t bit) {
    const unsigned w = s.fmt.bytes * 8;
    const auto o = static_cast<unsigned>(bit % 64);
    const unsigned t = o % w;  // the bit's place in its word, from the first taken
    const unsigned in_word = (s.lsb == s.fmt.big_endian) ? s.fmt.bytes - 1 - t / 8 : t / 8;
    return s.skip + bit / 64 * 8 + std::uint64_t{o / w} * s.fmt.bytes + in_word + 1;
}

void tell(prbs_state& s, prbs_line::kind_t kind, std::uint64_t pos, std::uint64_t mask) {
    if (s.sink.line != nullptr) s.sink.line(s.sink.to, prbs_line{kind, pos, mask});
}

// The second of bit `bit`: the capture's by --line-rate, else the read clock's.
void es_at_bit(prbs_state& s, std::uint64_t bit) {
    if (s.es.line_rate != 0) es_goto(s.es, bit / s.es.line_rate);
}

// The errored words of the checked bits `d` (set where wrong) of the unit
// now under way, in order: counted, each told as a line.
void tell_errors(prbs_state& s, std::uint64_t d) {
    const unsigned w = s.fmt.bytes * 8;
    const std::uint64_t base = s.units * 64;
    s.bit_errors += static_cast<std::uint64_t>(std::popcount(d));
    for (std::uint64_t x = d; x != 0; x &= x - 1) {  // each bit to its second
        es_at_bit(s, base + static_cast<unsigned>(std::countl_zero(x)));
        ++s.es.errors;
    }
    for (unsigned i = 0; i < 64 / w; ++i) {
        std::uint64_t slice = w == 64 ? d : (d >> (64 - w * (i + 1))) & ((std::uint64_t{1} << w) - 1);
        if (slice == 0) continue;
        if (s.lsb) slice = swap_within(reverse_bytes_bits(slice), 8) >> (64 - w);  // the word's own bit order
        ++s.errored_words;
        tell(s, prbs_line::errored_word, s.skip + s.units * 8 + std::uint64_t{i} * s.fmt.bytes + 1, slice);
    }
}

// The wrong bits among the last 128 checked up to offset o of the unit
// whose wrong bits are d: its own so far, the unit before, and the end of
// the one before that.
std::uint64_t wrong_in_window(const prbs_state& s, std::uint64_t d, unsigned o) {
    const std::uint64_t older = o == 63 ? 0 : s.d2 & (bit_mask(o) - 1);
    return static_cast<std::uint64_t>(std::popcount(d >> (63 - o))) +
           static_cast<std::uint64_t>(std::popcount(s.d1)) + static_cast<std::uint64_t>(std::popcount(older));
}

// Checks bits [from, nbits) of the unit x (in the pattern's sense) in sync,
// the reference going on from `h`, the 64 bits expected before `from`.
// Gives the offset where sync was lost, or 64.
unsigned check_bits(prbs_state& s, std::uint64_t x, unsigned from, unsigned nbits, std::uint64_t& h,
                    std::uint64_t& d) {
    for (unsigned o = from; o < nbits; ++o) {
        const std::uint64_t e = ((h >> (s.n - 1)) ^ (h >> (s.k - 1))) & 1;
        h = (h << 1) | e;
        ++s.bits;
        if (((x >> (63 - o)) & 1) == e) continue;
        d |= bit_mask(o);
        if (wrong_in_window(s, d, o) >= 32) return o;
    }
    return 64;
}

// The search for sync in lane `l` of the unit x (as read) from offset
// `from`: the first bit that ends 64 bits following the rule (or the
// inverted rule) after an n-bit state, whose 64 bits are not all equal
// (a dead line is not the pattern). Gives its offset, or 64.
unsigned lane_search(prbs_state& s, prbs_lane& l, std::uint64_t x, unsigned from, unsigned nbits, bool plain,
                     bool inverted, bool& found_inverted) {
    const std::uint64_t base = s.units * 64;
    const std::uint64_t valid = s.acq_from + s.n;  // the first bit a candidate's rule covers
    unsigned v = from;
    if (valid > base + v) v = valid - base >= nbits ? nbits : static_cast<unsigned>(valid - base);
    const std::uint64_t prev = l.prev;
    if (v >= nbits) return 64;
    const std::uint64_t syn = syndrome(prev, x, s.n, s.k);
    const unsigned len = nbits - v;
    // The offsets v .. nbits-1.
    const std::uint64_t all = ~std::uint64_t{0};
    const std::uint64_t region = (all >> v) & (nbits >= 64 ? all : ~(all >> nbits));
    const std::uint64_t good0 = ~syn & region, good1 = syn & region;
    // Fast: no run of 64 can end in this unit, or only over a dead line.
    const auto lead0 = static_cast<unsigned>(std::countl_one(good0 << v));
    const auto lead1 = static_cast<unsigned>(std::countl_one(good1 << v));
    const bool dead0 = x == 0 && (prev << 1) == 0, dead1 = ~x == 0 && (~prev << 1) == 0;
    const bool maybe0 = plain && l.zeros + std::min(lead0, len) >= 64 && !dead0;
    const bool maybe1 = inverted && l.ones + std::min(lead1, len) >= 64 && !dead1;
    if (!maybe0 && !maybe1) {
        const auto tail = [&](std::uint64_t good, std::uint64_t run) {
            const std::uint64_t g = good >> (64 - nbits);
            return g == (region >> (64 - nbits)) ? run + len : static_cast<std::uint64_t>(std::countr_one(g));
        };
        l.zeros = tail(good0, l.zeros);
        l.ones = tail(good1, l.ones);
        return 64;
    }
    for (unsigned o = v; o < nbits; ++o) {
        if ((syn & bit_mask(o)) == 0) {
            ++l.zeros;
            l.ones = 0;
        } else {
            ++l.ones;
            l.zeros = 0;
        }
        const std::uint64_t win = window(prev, x, o);
        if (plain && l.zeros >= 64 && win != 0) {
            found_inverted = false;
            return o;
        }
        if (inverted && l.ones >= 64 && win != ~std::uint64_t{0}) {
            found_inverted = true;
            return o;
        }
    }
    return 64;
}

// The unit of bytes p, of which the first `nbits` bits are the stream's,
// the slow way: the search for sync, the check bit by bit, sync lost.
void take_unit(prbs_state& s, const std::uint8_t* p, unsigned nbits) {
    const std::uint64_t base = s.units * 64;
    std::uint64_t raw[2] = {0, 0};
    for (int i = 0; i < 2; ++i) raw[i] = prbs_unit(p, s.fmt.bytes, s.fmt.big_endian, i == 1);
    std::uint64_t h = s.ref, d = 0;
    unsigned from = 0;
    if (s.synced) s.lane[s.lsb].prev = s.prev ^ (s.inverted ? ~std::uint64_t{0} : 0);
    for (;;) {  // until the unit's end: a sync at its last bit still sets the check up
        if (!s.synced) {
            // After the first sync, the order and sense found then.
            const bool fixed = s.ever_synced;
            unsigned best = 64;
            bool best_lsb = false, best_inv = false;
            for (int i = 0; i < 2; ++i) {
                const bool lsb = i == 1;
                if (fixed ? lsb != s.lsb : (s.fmt.order == (lsb ? bit_order::msb : bit_order::lsb))) continue;
                const bool plain = fixed ? !s.inverted : s.fmt.invert != prbs_choice::yes;
                const bool inv = fixed ? s.inverted : s.fmt.invert != prbs_choice::no;
                bool found_inv = false;
                const unsigned o = lane_search(s, s.lane[i], raw[i], from, nbits, plain, inv, found_inv);
                if (o < best) {
                    best = o;
                    best_lsb = lsb;
                    best_inv = found_inv;
                }
            }
            if (s.ever_synced &&
                from < nbits) {  // sync not held: the seconds of these bits are severely errored
                es_at_bit(s, base + from);
                s.es.bad = true;
                es_at_bit(s, base + (best < nbits ? best : nbits - 1));
                s.es.bad = true;
            }
            if (best >= nbits) break;
            const std::uint64_t state_bit = base + best - 63 - s.n;
            s.lsb = best_lsb;
            s.inverted = best_inv;
            s.synced = true;
            s.bits += 64;  // the 64 bits after the state followed the rule
            if (!s.ever_synced) {
                s.ever_synced = true;
                s.sync_at = byte_of_bit(s, state_bit);
                es_begin(s.es, s.es.line_rate != 0 ? (state_bit + s.n) / s.es.line_rate : s.second);
            }
            tell(s, prbs_line::sync_found, byte_of_bit(s, state_bit), 0);
            const std::uint64_t sense = s.inverted ? ~std::uint64_t{0} : 0;
            h = window(s.lane[s.lsb].prev, raw[s.lsb], best) ^ sense;
            s.d1 = s.d2 = 0;
            d = 0;
            from = best + 1;
            continue;
        }
        const std::uint64_t sense = s.inverted ? ~std::uint64_t{0} : 0;
        const std::uint64_t x = raw[s.lsb] ^ sense;
        const unsigned lost = check_bits(s, x, from, nbits, h, d);
        if (lost >= nbits) {
            tell_errors(s, d);
            s.d2 = s.d1;
            s.d1 = d;
            s.prev = x;
            s.ref = h;
            s.clean = (d & ((std::uint64_t{1} << s.n) - 1)) == 0;
            break;
        }
        tell_errors(s, d & ~(bit_mask(lost) - 1));
        ++s.sync_losses;
        tell(s, prbs_line::sync_lost, byte_of_bit(s, base + lost), wrong_in_window(s, d, lost));
        es_at_bit(s, base + lost);
        s.es.bad = true;
        s.synced = false;
        s.acq_from = base + lost + 1;
        s.lane[s.lsb].zeros = s.lane[s.lsb].ones = 0;
        from = lost + 1;
    }
    s.lane[0].prev = raw[0];
    s.lane[1].prev = raw[1];
    s.units += 1;
    s.read_bits += nbits;
}

}  // namespace

std::uint64_t prbs_unit(const std::uint8_t* p, unsigned bytes, bool big_endian, bool lsb) {
    return bit_stream(load_big(p), bytes, big_endian, lsb);
}

void prbs_store(std::uint8_t* p, std::uint64_t unit, unsigned bytes, bool big_endian, bool lsb) {
    const std::uint64_t x = bit_stream(unit, bytes, big_endian, lsb);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(x >> (56 - 8 * i));
}

std::uint64_t prbs_next(std::uint64_t history, unsigned n, unsigned k) {
    // k bits at a time: each new bit needs bits n and k back, both known.
    std::uint64_t h = history;
    for (unsigned got = 0; got < 64;) {
        const unsigned step = std::min(k, 64 - got);
        const std::uint64_t fresh =
            ((h >> (n - step)) ^ (h >> (k - step))) & ((std::uint64_t{1} << step) - 1);
        h = (h << step) | fresh;
        got += step;
    }
    return h;
}

void prbs_fill(std::uint8_t* out, std::size_t len, std::uint64_t& history, const prbs_format& fmt, bool lsb,
               bool inverted) {
    const prbs_pattern& pat = prbs_patterns[fmt.pattern];
    for (std::size_t i = 0; i + 8 <= len; i += 8) {
        history = prbs_next(history, pat.n, pat.k);
        prbs_store(out + i, inverted ? ~history : history, fmt.bytes, fmt.big_endian, lsb);
    }
}

void prbs_start(prbs_state& s, const prbs_format& fmt, std::uint64_t skip, prbs_sink sink) {
    s = prbs_state{};
    s.fmt = fmt;
    s.n = prbs_patterns[fmt.pattern].n;
    s.k = prbs_patterns[fmt.pattern].k;
    s.skip = skip;
    s.sink = sink;
    s.es.line_rate = fmt.line_rate;
    s.block = prbs_block(block_impl_active());
}

namespace {
// Whole units from p while in sync and clean: the syndrome test alone.
// Gives the bytes taken; stops before the first unit that fails it.
template <bool Plain>
std::size_t run_clean(prbs_state& s, const std::uint8_t* p, std::size_t len) {
    const unsigned n = s.n, k = s.k;
    const std::uint64_t sense = s.inverted ? ~std::uint64_t{0} : 0;
    std::uint64_t prev = s.prev;
    std::size_t i = 0;
    // A block at a time where the words are loaded as they lie; then eight
    // units at a time, one branch for them; the one that fails is found
    // below.
    if constexpr (Plain)
        for (; i + prbs_block_bytes <= len && s.block(p + i, prev ^ sense, n, k, sense);
             i += prbs_block_bytes)
            prev = load_big(p + i + prbs_block_bytes - 8) ^ sense;
    for (; i + 64 <= len; i += 64) {
        std::uint64_t x[8], any = 0;
        for (std::size_t j = 0; j < 8; ++j)
            x[j] = (Plain ? load_big(p + i + 8 * j)
                          : prbs_unit(p + i + 8 * j, s.fmt.bytes, s.fmt.big_endian, s.lsb)) ^
                   sense;
        any |= syndrome(prev, x[0], n, k);
        for (std::size_t j = 1; j < 8; ++j) any |= syndrome(x[j - 1], x[j], n, k);
        if (any != 0) break;
        prev = x[7];
    }
    for (; i + 8 <= len; i += 8) {
        const std::uint64_t x =
            (Plain ? load_big(p + i) : prbs_unit(p + i, s.fmt.bytes, s.fmt.big_endian, s.lsb)) ^ sense;
        if (syndrome(prev, x, n, k) != 0) break;
        prev = x;
    }
    const std::uint64_t units = i / 8;
    if (units != 0) {
        s.units += units;
        s.read_bits += 64 * units;
        s.bits += 64 * units;
        s.prev = s.ref = prev;
        s.d2 = units >= 2 ? 0 : s.d1;
        s.d1 = 0;
    }
    return i;
}
}  // namespace

void prbs_feed(prbs_state& s, const std::uint8_t* data, std::size_t len, std::uint64_t second) {
    s.fed += len;
    const std::uint64_t skipped = s.fed - len;
    if (skipped < s.skip) {
        const std::uint64_t pass = std::min<std::uint64_t>(s.skip - skipped, len);
        data += pass;
        len -= static_cast<std::size_t>(pass);
    }
    if (s.es.line_rate == 0) {
        s.second = second;
        es_goto(s.es, second);
    }
    const std::uint64_t bits_before = s.bits;
    if (s.pend_len != 0) {
        const std::size_t take = std::min<std::size_t>(8 - s.pend_len, len);
        std::copy_n(data, take, s.pend + s.pend_len);
        s.pend_len += static_cast<unsigned>(take);
        data += take;
        len -= take;
        if (s.pend_len == 8) {
            take_unit(s, s.pend, 64);
            s.pend_len = 0;
        }
    }
    const bool plain = !s.lsb && (s.fmt.bytes == 1 || s.fmt.big_endian);
    std::size_t i = 0;
    while (i + 8 <= len) {
        if (s.synced && s.clean) {
            i += plain ? run_clean<true>(s, data + i, len - i) : run_clean<false>(s, data + i, len - i);
            if (i + 8 > len) break;
        }
        take_unit(s, data + i, 64);
        i += 8;
    }
    if (s.pend_len == 0) {  // else all of data went into the unit begun
        std::copy_n(data + i, len - i, s.pend);
        s.pend_len = static_cast<unsigned>(len - i);
    }
    if (s.es.line_rate == 0 && s.es.started) s.es.bits += s.bits - bits_before;
}

void prbs_end(prbs_state& s) {
    const unsigned words = s.pend_len / s.fmt.bytes;
    s.trailing = s.pend_len - words * s.fmt.bytes;
    if (words != 0) {
        std::fill(s.pend + s.pend_len, s.pend + 8, std::uint8_t{0});
        const std::uint64_t bits_before = s.bits;
        take_unit(s, s.pend, words * s.fmt.bytes * 8);
        if (s.es.line_rate == 0 && s.es.started) s.es.bits += s.bits - bits_before;
    }
    s.pend_len = 0;
    const std::uint64_t r = s.es.line_rate;
    if (r == 0) return es_finish(s.es, s.es.bits);
    if (s.read_bits == 0) return;
    const std::uint64_t last = (s.read_bits - 1) / r;  // a partial second counts as a second
    es_goto(s.es, last);
    es_finish(s.es, s.read_bits - last * r);
}
