#include "sequence.hpp"

#include <algorithm>
#include <bit>
#include <iterator>

namespace {
std::uint64_t saturated_add(std::uint64_t a, std::uint64_t b) {
    return a + b < a ? UINT64_MAX : a + b;
}

// b comes after a, by less than half the range.
bool ahead(const seq_tracker& t, std::uint64_t b, std::uint64_t a) {
    const std::uint64_t d = (b - a) & t.mask;
    return d != 0 && d <= (t.mask >> 1);
}

bool continues(const seq_tracker& t, std::uint64_t before, std::uint64_t next) {
    return next == ((before + 1) & t.mask) || (t.wrap_any && before == t.mask);
}

word_event& told(seq_out& out, event_kind kind, std::uint64_t pos) {
    word_event& e = out.e[out.n++];
    e = word_event{};
    e.kind = kind;
    e.pos = pos;
    return e;
}

// The counts in the planes go to bits[]: each bit's count is its 8 digits.
void flush_planes(seq_tracker& t) {
    for (unsigned j = 0; j < 8; ++j) {
        for (std::uint64_t b = t.planes[j]; b != 0; b &= b - 1)
            t.bits[std::countr_zero(b)] += std::uint64_t{1} << j;
        t.planes[j] = 0;
    }
    t.plane_adds = 0;
}

// A number of the span: what it tells of the span as a whole.
void span_add(seq_tracker& t, std::uint64_t got) {
    const std::uint64_t i = t.span++;
    const std::uint64_t want = (t.expected + i) & t.mask;
    if (i == 0) t.first_value = got;
    t.all_equal = t.all_equal && got == t.first_value;
    t.before = got;
    if (got != want) {
        ++t.differing;
        std::uint64_t x = got ^ want;
        t.bits_touched |= x;
        // One is added to the count of each bit of x, in every bit at once:
        // a span of random words is wrong in half its bits.
        for (unsigned j = 0; x != 0 && j < 8; ++j) {
            const std::uint64_t carry = t.planes[j] & x;
            t.planes[j] ^= x;
            x = carry;
        }
        if (++t.plane_adds == 255) flush_planes(t);
    }
    // Whether the span holds e .. e+u-1 in some order: each offset from e once.
    const std::uint64_t off = (got - t.expected) & t.mask;
    if (!t.in_order_set || off >= seq_order_max || (t.seen[off / 64] >> (off % 64) & 1) != 0) {
        t.in_order_set = false;
        return;
    }
    t.seen[off / 64] |= std::uint64_t{1} << (off % 64);
    if (i != 0 && off < t.top) ++t.came_late;
    if (i == 0 || off > t.top) t.top = off;
}

// The run's numbers go to the span; `got` at `pos` starts a new run.
void run_restart(seq_tracker& t, std::uint64_t pos, std::uint64_t got) {
    for (unsigned i = 0; i < t.run_len; ++i) span_add(t, t.run[i]);
    t.run_pos = pos;
    t.run[0] = got;
    t.run_len = 1;
}

void lose_gap(seq_tracker& t, unsigned k) {
    for (unsigned i = k + 1; i < t.gap_count; ++i) t.gaps[i - 1] = t.gaps[i];
    --t.gap_count;
}

void open_gap(seq_tracker& t, std::uint64_t lo, std::uint64_t hi, std::uint64_t pos) {
    if (t.gap_count == seq_gaps_max) lose_gap(t, 0);  // the oldest: lost for good
    t.gaps[t.gap_count++] = {lo, hi, pos};
}

// The open gap that holds v, if any; gaps older than half the range of
// numbers (in numbers of the stream) are closed first.
int find_gap(seq_tracker& t, std::uint64_t v, std::uint64_t pos) {
    const std::uint64_t half = t.mask >> 1;
    const std::uint64_t span = half >= UINT64_MAX / t.unit ? UINT64_MAX : (half + 1) * t.unit;
    for (unsigned k = 0; k < t.gap_count;)
        if (pos - t.gaps[k].opened >= span)
            lose_gap(t, k);
        else
            ++k;
    for (unsigned k = 0; k < t.gap_count; ++k)
        if (((v - t.gaps[k].lo) & t.mask) < ((t.gaps[k].hi - t.gaps[k].lo) & t.mask))
            return static_cast<int>(k);
    return -1;
}

// The run that filled a gap has ended at `end`: those of its numbers that
// were in the gap came late and are no longer lost.
void end_late_run(seq_tracker& t, std::uint64_t end, seq_out& out) {
    t.late_run = false;
    const std::uint64_t n = (end - t.late_pos) / t.unit;
    const std::uint64_t room = (t.late_hi - t.late_value) & t.mask;
    const std::uint64_t k = n < room ? n : room;
    if (k == 0) return;
    told(out, event_kind::late, t.late_pos).words = k;
    ++t.counts.late;
    t.counts.late_words = saturated_add(t.counts.late_words, k);
    t.counts.lost_words = t.counts.lost_words >= k ? t.counts.lost_words - k : 0;
    // Those numbers leave the gap, which may split in two; the gaps stay
    // in the order they opened.
    const std::uint64_t lo = t.late_value, hi = (t.late_value + k) & t.mask;
    for (unsigned g = 0; g < t.gap_count; ++g) {
        const seq_gap gap = t.gaps[g];
        if (((lo - gap.lo) & t.mask) >= ((gap.hi - gap.lo) & t.mask)) continue;
        lose_gap(t, g);
        const seq_gap parts[2] = {{gap.lo, lo, gap.opened}, {hi, gap.hi, gap.opened}};
        for (const seq_gap& part : parts) {
            if (part.lo == part.hi) continue;
            if (t.gap_count == seq_gaps_max) {
                lose_gap(t, 0);
                if (g > 0) --g;
            }
            for (unsigned i = t.gap_count++; i > g; --i) t.gaps[i] = t.gaps[i - 1];
            t.gaps[g++] = part;
        }
        return;
    }
}

// The span's numbers, wrong in place: corrupt, or stuck when at least two
// and all the same.
void tell_wrong(seq_tracker& t, seq_out& out) {
    event_counts& c = t.counts;
    if (t.span >= 2 && t.all_equal) {
        word_event& e = told(out, event_kind::stuck, t.span_pos);
        e.words = t.span;
        e.value = e.got = t.first_value;
        e.has_value = true;
        ++c.stuck;
        c.stuck_words = saturated_add(c.stuck_words, t.span);
        return;
    }
    word_event& e = told(out, event_kind::corrupt, t.span_pos);
    e.words = t.differing;
    if (t.span == 1) {  // the one word, as it should have been and as it came
        e.expected = t.expected;
        e.got = t.first_value;
    }
    ++c.corrupt;
    c.corrupt_words = saturated_add(c.corrupt_words, t.differing);
    flush_planes(t);
    for (std::uint64_t b = t.bits_touched; b != 0; b &= b - 1) {
        const int k = std::countr_zero(b);
        c.bit_errors[k] += t.bits[k];
    }
}

// Lock at q with v the number there: the span and v told.
void relock(seq_tracker& t, std::uint64_t q, std::uint64_t v, std::uint64_t before, seq_out& out) {
    t.locked = true;
    event_counts& c = t.counts;
    const std::uint64_t u = t.span, e = t.expected;
    const std::uint64_t after = (e + u) & t.mask;
    if (u >= 2 && v == after && t.in_order_set && u <= seq_order_max && t.top < u) {
        told(out, event_kind::late, t.span_pos).words = t.came_late;
        ++c.late;
        c.late_words = saturated_add(c.late_words, t.came_late);
    } else if (u >= 1 && v == after) {
        tell_wrong(t, out);
    } else if (u >= 1 && v == e) {
        word_event& ev = told(out, event_kind::inserted, t.span_pos);
        ev.words = u;
        ev.has_value = t.all_equal;
        ev.value = t.all_equal ? t.first_value : 0;
        ++c.inserted;
        c.inserted_words = saturated_add(c.inserted_words, u);
    } else {
        if (u >= 1) {
            tell_wrong(t, out);
            if (t.high == e) t.high = after;
        }
        if (v == t.high) return;
        if (t.restarts && (v == 0 || v == t.first)) {
            word_event& ev = told(out, event_kind::restart, q);
            ev.from = before;
            ev.to = v;
            ++c.restart;
            t.gap_count = 0;
            t.high = v;
            return;
        }
        if (ahead(t, v, t.high)) {
            const std::uint64_t d = (v - t.high) & t.mask;
            told(out, event_kind::lost, q).words = d;
            ++c.lost;
            c.lost_words = saturated_add(c.lost_words, d);
            open_gap(t, t.high, v, q);
            t.high = v;
            return;
        }
        const int g = find_gap(t, v, q);
        if (g >= 0) {
            t.late_run = true;
            t.late_pos = q;
            t.late_value = v;
            t.late_hi = t.gaps[g].hi;
            return;
        }
        const std::uint64_t d = (t.high - v) & t.mask;
        told(out, event_kind::repeat, q).words = d;
        ++c.repeat;
        c.repeated_words = saturated_add(c.repeated_words, d);
    }
}

// Lock has come where the run begins.
void relock_at_run(seq_tracker& t, seq_out& out) {
    const std::uint64_t before = t.span == 0 ? (t.expected - 1) & t.mask : t.before;
    relock(t, t.run_pos, t.run[0], before, out);
}
}  // namespace

std::string_view event_name(event_kind kind) {
    static constexpr std::string_view names[] = {"corrupt", "lost",    "repeat", "stuck", "inserted",
                                                 "late",    "restart", "slip",   "stall"};
    return names[static_cast<unsigned>(kind)];
}

void seq_start(seq_tracker& t, unsigned bits, std::uint64_t unit, unsigned lock, bool wrap_any) {
    t = seq_tracker{};
    t.mask = bits >= 64 ? UINT64_MAX : (std::uint64_t{1} << bits) - 1;
    t.unit = unit;
    t.lock = lock;
    t.wrap_any = wrap_any;
    t.restarts = bits >= 16;
}

void seq_break(seq_tracker& t, std::uint64_t pos, std::uint64_t expected, std::uint64_t got, seq_out& out) {
    if (t.late_run) end_late_run(t, pos, out);
    if (!t.high_set || ahead(t, expected, t.high)) t.high = expected;
    t.high_set = true;
    t.locked = false;
    t.span_pos = pos;
    t.expected = expected;
    t.span = t.differing = 0;
    t.all_equal = t.in_order_set = true;
    t.came_late = t.top = 0;
    std::fill(std::begin(t.seen), std::end(t.seen), 0);
    for (std::uint64_t b = t.bits_touched; b != 0; b &= b - 1) t.bits[std::countr_zero(b)] = 0;
    std::fill(std::begin(t.planes), std::end(t.planes), 0);
    t.bits_touched = 0;
    t.plane_adds = 0;
    t.run_len = 0;
    run_restart(t, pos, got);
    if (t.run_len >= t.lock) relock_at_run(t, out);
}

void seq_next(seq_tracker& t, std::uint64_t pos, std::uint64_t got, seq_out& out) {
    if (continues(t, t.run[t.run_len - 1], got))
        t.run[t.run_len++] = got;
    else
        run_restart(t, pos, got);
    if (t.run_len >= t.lock) relock_at_run(t, out);
}

void seq_end(seq_tracker& t, std::uint64_t end, seq_out& out) {
    // A shorter run that reaches the end gives lock too.
    if (!t.locked) relock_at_run(t, out);
    if (t.late_run) end_late_run(t, end, out);
}

void seq_lock_at(seq_tracker& t, std::uint64_t q, std::uint64_t v, std::uint64_t before,
                 std::uint64_t slip_bytes, seq_out& out) {
    for (unsigned i = 0; i < t.run_len; ++i)
        if (t.run_pos + (i + std::uint64_t{1}) * t.unit <= q) span_add(t, t.run[i]);
    t.run_len = 0;
    if (slip_bytes != 0) {
        told(out, event_kind::slip, q).bytes = slip_bytes;
        ++t.counts.slip;
    }
    relock(t, q, v, before, out);
}
