// The counter of a link in words of 8, 16, 32 or 64 bits, in either byte
// order: each word is the one before it plus one, modulo 2^bits (after the
// all-ones word comes 0, or, with wrap_any, anything). Each break is counted
// and reported as it is found; while diagnosing, the breaks and the words
// out of lock also go to the sequence tracker, which tells what happened.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "sequence.hpp"
#include "slip.hpp"
#include "verify/block_scan.hpp"
#include "verify/run_state.hpp"
#include "verify/word_load.hpp"

struct word_format {
    unsigned bytes = 1;       // 1, 2, 4 or 8
    bool big_endian = false;  // the most significant byte comes first
    bool wrap_any = false;    // the word after all-ones may be anything
};

struct word_state {
    word_format fmt;
    std::uint64_t mask = 0xff;               // all-ones word
    std::uint64_t l_counter = 0;             // bytes before the next word, skipped ones included
    std::uint64_t Word_alt = 0;              // the last whole word; 0 before the first
    std::uint64_t error = 0;                 // breaks
    std::uint64_t checked = 0;               // words compared with the one before them
    std::uint64_t skip = 0;                  // bytes still to pass over unchecked
    bool take_next = false;                  // the next word is taken as it is: the check starts after it
    bool diagnosing = true;                  // breaks are diagnosed (off where nobody asks for the events)
    bool pending = false;                    // out of lock: every word goes to the tracker
    std::uint64_t break_limit = UINT64_MAX;  // the check stops at this break
    bool stopped = false;                    // ... and has: the rest of what was fed is not taken
    std::uint64_t end_pos = 0;               // where a stopped check ends, for the tracker
    bool first_seen = false;                 // the first word has come
    std::uint64_t run_first = 0;             // the first word of the run under way
    std::uint64_t first_at = 0;              // l_counter at the first word
    std::uint64_t run_at = 0;                // ... and at the first of the run
    std::uint64_t ones = 0, zeros = 0;       // the bits that were 1, and 0, in some word
    unsigned partial_len = 0;                // bytes of a word begun in an earlier call
    std::uint8_t partial[8] = {};            // ... and those bytes
    word_ramp_fn ramp = nullptr;             // whole-block test of this format
    seq_tracker seq;                         // the account of the breaks
    slip_search slip;                        // out of lock, wider than a byte: the search at every offset
    seq_out out;                             // the events the tracker told last
};

// A fresh state for `fmt`: the word before the first is taken as 0 unless
// `any_start`; the first `skip` bytes are passed over, and with `skip_given`
// the word after them starts the check as with any_start. Breaks are
// diagnosed unless `diagnosing` is false, lock coming back after `lock`
// words in a row.
void word_start(word_state& w, word_format fmt, bool any_start, std::uint64_t skip, bool skip_given,
                bool diagnosing = true, unsigned lock = 4);

namespace detail {
// Whether `next` may follow `before`: the one after it, or anything after
// all-ones with wrap_any.
inline bool follows(const word_state& w, std::uint64_t before, std::uint64_t next) {
    return next == ((before + 1) & w.mask) || (w.fmt.wrap_any && before == w.mask);
}

template <class Report>
void tell(const seq_out& out, Report& report) {
    for (unsigned i = 0; i < out.n; ++i) report.on_event(static_cast<const word_event&>(out.e[i]));
}

// The bits that were 1 and 0 somewhere in the run of words from `first`
// (at byte run_at) to `last` (at byte `at`), each the one before plus one.
inline void note_run(word_state& w, std::uint64_t first, std::uint64_t last, std::uint64_t at) {
    const std::uint64_t n = (at - w.run_at) / w.fmt.bytes;  // words after the first
    if (n > (w.mask - first) || last < first) {             // across the wrap: every bit was both
        w.ones = w.mask;
        w.zeros = w.mask;
        return;
    }
    const std::uint64_t d = first ^ last;
    const std::uint64_t low = d == 0 ? 0 : UINT64_MAX >> std::countl_zero(d);
    w.ones |= first | low;
    w.zeros |= (~first | low) & w.mask;
}

// The stream's first word.
inline void note_first(word_state& w, std::uint64_t got) {
    w.first_seen = true;
    w.first_at = w.l_counter;
    w.run_first = got;
    w.run_at = w.l_counter;
    w.seq.first = got;
}

// The bytes of word `v` in the stream's order, the last lowest.
inline std::uint64_t stream_order(const word_state& w, std::uint64_t v) {
    return w.fmt.big_endian ? v : byte_swap(v) >> (64 - 8 * w.fmt.bytes);
}

// The word `got` at w.l_counter + 1 broke the rule: the search for lock at
// every offset starts with it.
inline void slip_enter(word_state& w, std::uint64_t got) {
    slip_search& s = w.slip;
    s.active = true;
    s.from = w.l_counter + 1;
    s.before = w.Word_alt;
    s.grid_end = w.l_counter + w.fmt.bytes;
    s.window = std::uint64_t{w.seq.lock} * w.fmt.bytes - 1;
    s.recent = stream_order(w, got);
    s.offset = 1 % w.fmt.bytes;
    std::fill(std::begin(s.len), std::end(s.len), 0U);
    s.len[0] = 1;
    s.start[0] = s.from;
    s.value[0] = s.last[0] = got;
    s.head = s.count = 0;
    if (w.diagnosing) {
        w.ones |= got;
        w.zeros |= ~got & w.mask;
    }
}

// A word of the old grid, at `pos`, judged by the rule after the wait.
template <class Report>
void judge_grid(word_state& w, grid_word g, Report& report) {
    const std::uint64_t alt = w.Word_alt;
    ++w.checked;
    if (!follows(w, alt, g.value)) {
        ++w.error;
        report.on_break(w.fmt.bytes, alt, g.value, g.pos);
    }
    w.Word_alt = g.value;
    w.stopped = w.error >= w.break_limit;
    if (!w.diagnosing) return;
    w.ones |= g.value;
    w.zeros |= ~g.value & w.mask;
    seq_out& out = w.out;  // reused: a fresh one a word costs more than the check
    out.n = 0;
    seq_next(w.seq, g.pos, g.value, out);
    tell(out, report);
}

// The search ends: the check stopped at a grid word, lock came back at
// offset `k`, or the stream ended. The next word starts at l_counter.
inline void slip_leave(word_state& w) {
    w.slip.active = false;
    w.run_first = w.Word_alt;
    w.run_at = w.l_counter - w.fmt.bytes;
}

// Lock is back where the run at offset k began: the grid words wholly
// before it are judged, the rest dropped, and the grid moves there.
template <class Report>
void slip_lock(word_state& w, unsigned k, Report& report) {
    slip_search& s = w.slip;
    const unsigned size = w.fmt.bytes;
    const std::uint64_t q = s.start[k], v = s.value[k];
    for (; s.count > 0 && s.queue[s.head].pos + size <= q; --s.count) {
        judge_grid(w, s.queue[s.head], report);
        s.head = (s.head + 1) & slip_queue_mask;
        if (w.stopped) {
            w.l_counter = s.queue[(s.head + slip_queue_mask) & slip_queue_mask].pos + size - 1;
            return slip_leave(w);
        }
    }
    s.count = 0;
    const std::uint64_t alt = q == s.from ? s.before : w.Word_alt;
    // The word there follows the last one judged, or breaks the rule (the
    // break's own word needs no second line).
    if (q != s.from) {
        ++w.checked;
        if (!follows(w, alt, v)) {
            ++w.error;
            report.on_break(size, alt, v, q);
        }
        w.stopped = w.error >= w.break_limit;
    }
    w.checked += s.len[k] - 1;
    w.Word_alt = s.last[k];
    if (w.diagnosing) {
        seq_out& out = w.out;  // reused: a fresh one a word costs more than the check
        out.n = 0;
        seq_lock_at(w.seq, q, v, alt, (q - s.from) % size, out);
        tell(out, report);
    }
    slip_leave(w);
    w.run_first = v;
    w.run_at = q - 1;
}

// From byte i of the n at p, out of lock, a word of the grid at a time
// (each starting a step, i >= 2 words in): while no word that ends in a step
// continues the word a size before it, every run is one word long, so lock
// cannot come back before the oldest of them, and the grid words before it
// are judged at once. Gives the byte where it stopped: a step with a word
// that continues a run (for the byte-wise search), the end, or a stop.
template <class T, bool BigEndian, class Report>
std::size_t slip_quick(word_state& w, const std::uint8_t* p, std::size_t i, std::size_t n, Report& report) {
    slip_search& s = w.slip;
    constexpr std::size_t size = sizeof(T);
    const auto mask = static_cast<T>(w.mask);
    const bool wrap_any = w.fmt.wrap_any;
    const std::size_t from = i;
    // Per offset j of a step, the word ending there and the one a size before it.
    T x[size], before[size];
    for (unsigned j = 0; j < size; ++j) before[j] = load_quick<T, BigEndian>(p + i + j + 1 - 2 * size);
    std::uint64_t end = w.l_counter;  // the last byte taken
    for (; i + size <= n; i += size) {
        bool hit = false;
        for (unsigned j = 0; j < size; ++j) {
            x[j] = load_quick<T, BigEndian>(p + i + j + 1 - size);
            hit |= x[j] == static_cast<T>(before[j] + 1) || (wrap_any && before[j] == mask);
        }
        if (hit) break;
        for (unsigned j = 0; j < size; ++j) before[j] = x[j];
        end += size;
        // Every run began in the last two words: the grid words before them are safe.
        while (s.count > 0 && s.queue[s.head].pos + size <= end + 2 - 2 * size) {
            const grid_word g = s.queue[s.head];
            s.head = (s.head + 1) & slip_queue_mask;
            --s.count;
            judge_grid(w, g, report);
            if (w.stopped) {
                w.l_counter = g.pos + size - 1;
                slip_leave(w);
                return i;
            }
        }
        s.queue[(s.head + s.count++) & slip_queue_mask] = {end - size + 1, x[size - 1]};
    }
    if (i == from) return i;
    w.l_counter = s.grid_end = end;
    // The runs as the byte-wise search keeps them: one word each, the last
    // `size` bytes ending one each.
    for (unsigned j = 0; j < size; ++j) {
        const unsigned k = (j + 1) % size;
        s.last[k] = s.value[k] = before[j];
        s.start[k] = end - 2 * size + j + 2;
        s.len[k] = 1;
    }
    s.recent = 0;
    for (unsigned j = 0; j < size; ++j) s.recent = s.recent << 8 | p[i - size + j];
    return i;
}

// The n bytes at p, out of lock: each ends a word at its offset, which
// continues that offset's run or starts one. Gives the bytes taken: up to
// where lock came back or the check stopped, or all.
template <class Report>
std::size_t slip_feed(word_state& w, const std::uint8_t* p, std::size_t n, Report& report) {
    slip_search& s = w.slip;
    const unsigned size = w.fmt.bytes;
    const unsigned lock = w.seq.lock;
    const unsigned shift = 64 - 8 * size;
    const std::uint64_t mask = w.mask;
    const bool big = w.fmt.big_endian, wrap_any = w.fmt.wrap_any;
    // Locals, because every store into w or s could alias p and force reloads.
    std::uint64_t recent = s.recent, b = w.l_counter;
    unsigned k = s.offset;
    for (std::size_t i = 0; i < n; ++i) {
        if (k == 1 % size && i >= 2 * std::size_t{size}) {  // a step begins: the quick way while it holds
            s.recent = recent;
            w.l_counter = b;
            std::size_t at = i;
            switch (size * 2 + (big ? 1 : 0)) {
                case 4:
                    at = slip_quick<std::uint16_t, false>(w, p, i, n, report);
                    break;
                case 5:
                    at = slip_quick<std::uint16_t, true>(w, p, i, n, report);
                    break;
                case 8:
                    at = slip_quick<std::uint32_t, false>(w, p, i, n, report);
                    break;
                case 9:
                    at = slip_quick<std::uint32_t, true>(w, p, i, n, report);
                    break;
                case 16:
                    at = slip_quick<std::uint64_t, false>(w, p, i, n, report);
                    break;
                default:
                    at = slip_quick<std::uint64_t, true>(w, p, i, n, report);
            }
            if (!w.slip.active) return at;
            if (at != i) {
                recent = s.recent;
                b = w.l_counter;
                i = at;
                if (i == n) break;
            }
        }
        ++b;
        recent = recent << 8 | p[i];
        const std::uint64_t x = big ? recent << shift >> shift : byte_swap(recent) >> shift;
        const std::uint64_t last = s.last[k];
        s.last[k] = x;
        if (s.len[k] != 0 && (x == ((last + 1) & mask) || (wrap_any && last == mask))) {
            if (++s.len[k] >= lock) {
                w.l_counter = b;
                slip_lock(w, k, report);
                return i + 1;
            }
        } else {
            s.start[k] = b - size + 1;
            s.value[k] = x;
            s.len[k] = 1;
        }
        if (k == 0) {
            s.queue[(s.head + s.count++) & slip_queue_mask] = {b - size + 1, x};
            s.grid_end = b;
            // The grid word whose wait is over: no lock can come back before its end.
            const grid_word g = s.queue[s.head];
            if (b >= g.pos + size - 1 + s.window) {
                s.head = (s.head + 1) & slip_queue_mask;
                --s.count;
                w.l_counter = b;
                judge_grid(w, g, report);
                if (w.stopped) {
                    w.l_counter = g.pos + size - 1;
                    slip_leave(w);
                    return i + 1;
                }
            }
        }
        k = k + 1 == size ? 0 : k + 1;
    }
    s.recent = recent;
    s.offset = k;
    w.l_counter = b;
    return n;
}

// The stream has ended out of lock: the grid words still waiting are
// judged, and the bytes after the grid's last whole word are left over.
template <class Report>
void slip_end(word_state& w, Report& report) {
    slip_search& s = w.slip;
    for (; s.count > 0 && !w.stopped; --s.count) {
        judge_grid(w, s.queue[s.head], report);
        if (w.stopped) s.grid_end = s.queue[s.head].pos + w.fmt.bytes - 1;
        s.head = (s.head + 1) & slip_queue_mask;
    }
    w.partial_len = w.stopped ? 0 : static_cast<unsigned>(w.l_counter - s.grid_end);
    w.l_counter = s.grid_end;
    slip_leave(w);
}

// The word `got` at position w.l_counter + 1, after a mismatch or out of
// lock: the rule, the report, the tracker. Off the fast path.
template <class Report>
void judge(word_state& w, std::uint64_t got, Report& report) {
    const std::uint64_t alt = w.Word_alt;
    const std::uint64_t expected = (alt + 1) & w.mask;
    const bool broken = !follows(w, alt, got);
    if (broken) {
        ++w.error;
        report.on_break(w.fmt.bytes, alt, got, w.l_counter + 1);
    }
    // Wider words look for lock at every byte offset, whoever reads the account.
    if (broken && w.fmt.bytes > 1 && w.seq.lock > 1 && w.error < w.break_limit) slip_enter(w, got);
    if (!w.diagnosing) return;
    if (got != expected) {  // a run has ended, unless this is the first word
        if (w.l_counter != w.first_at) note_run(w, w.run_first, alt, w.l_counter - w.fmt.bytes);
        w.run_first = got;
        w.run_at = w.l_counter;
    }
    seq_out& out = w.out;  // reused: a fresh one a word costs more than the check
    out.n = 0;
    if (w.pending)
        seq_next(w.seq, w.l_counter + 1, got, out);
    else if (broken)
        seq_break(w.seq, w.l_counter + 1, expected, got, out);
    w.pending = !w.seq.locked && !w.slip.active;  // the search feeds the tracker itself
    tell(out, report);
}

// The check stopped at its last break, out of lock: where the word after it
// is among the `n` bytes at `first` (the stream's bytes from `origin` on),
// the tracker has it too, and the account ends after it; it is not taken.
template <class Report>
void diagnose_at_stop(word_state& w, const std::uint8_t* first, std::uint64_t origin, std::size_t n,
                      Report& report) {
    w.end_pos = w.l_counter + 1;
    if (!w.pending || w.l_counter < origin) return;
    const std::uint64_t at = w.l_counter - origin;
    if (at + w.fmt.bytes > n) return;
    seq_out& out = w.out;  // reused: a fresh one a word costs more than the check
    out.n = 0;
    seq_next(w.seq, w.l_counter + 1, load_word(first + at, w.fmt.bytes, w.fmt.big_endian), out);
    w.pending = !w.seq.locked;
    w.end_pos += w.fmt.bytes;
    tell(out, report);
}

// One whole word, from its bytes anywhere (a word begun in an earlier call).
template <class Report>
void take_word(word_state& w, std::uint64_t got, Report& report) {
    if (!w.first_seen) note_first(w, got);
    if (w.take_next) {
        w.take_next = false;
    } else {
        ++w.checked;
        if (got != ((w.Word_alt + 1) & w.mask) || w.pending) judge(w, got, report);
        w.stopped = w.error >= w.break_limit;
    }
    w.Word_alt = got;
    w.l_counter += w.fmt.bytes;
}

// The n bytes at p, a whole number of words of type T.
template <class T, bool BigEndian, class Report>
void walk(word_state& w, const std::uint8_t* p, std::size_t n, Report& report) {
    // Locals, because every store into w could alias p and force reloads.
    auto alt = static_cast<T>(w.Word_alt);
    const std::uint64_t start = w.l_counter;
    bool pending = w.pending;
    // A break that needs only its count and its line (no diagnosis, no
    // exemption after all-ones) is dealt with here: a stream broken
    // throughout comes this way for every word.
    const bool count_only = !w.diagnosing && !w.fmt.wrap_any && (sizeof(T) == 1 || w.seq.lock == 1);
    for (std::size_t i = 0; i < n; i += sizeof(T)) {
        const T got = load_word<T, BigEndian>(p + i);
        if (got != static_cast<T>(alt + 1) || pending) {
            if (count_only) {
                ++w.error;
                report.on_break(sizeof(T), alt, got, start + i + 1);
            } else {
                w.Word_alt = alt;
                w.l_counter = start + i;
                judge(w, got, report);
                pending = w.pending;
                if (w.slip.active) {  // the bytes after this word go to the search
                    n = i + sizeof(T);
                    alt = got;
                    break;
                }
            }
            if (w.error >= w.break_limit) {
                w.stopped = true;
                n = i + sizeof(T);  // the words after this one are not taken
                alt = got;
                break;
            }
        }
        alt = got;
    }
    w.Word_alt = alt;
    w.l_counter = start + n;
    w.checked += n / sizeof(T);
}

// The n bytes at p, a whole number of words: whole blocks through the ramp
// test while no break is held, the walk for the rest.
template <class T, bool BigEndian, class Report>
void scan(word_state& w, const std::uint8_t* p, std::size_t n, Report& report) {
    for (; n >= block_size; p += block_size, n -= block_size) {
        if (!w.pending && w.ramp(p, w.Word_alt)) {
            w.Word_alt = load_word<T, BigEndian>(p + block_size - sizeof(T));
            w.l_counter += block_size;
            w.checked += block_size / sizeof(T);
        } else {
            walk<T, BigEndian>(w, p, block_size, report);
            if (w.stopped || w.slip.active) return;
        }
    }
    walk<T, BigEndian>(w, p, n, report);
}

template <bool BigEndian, class Report>
void scan_words(word_state& w, const std::uint8_t* p, std::size_t n, Report& report) {
    switch (w.fmt.bytes) {
        case 2:
            return scan<std::uint16_t, BigEndian>(w, p, n, report);
        case 4:
            return scan<std::uint32_t, BigEndian>(w, p, n, report);
        case 8:
            return scan<std::uint64_t, BigEndian>(w, p, n, report);
        default:
            return scan<std::uint8_t, false>(w, p, n, report);
    }
}
}  // namespace detail

// Takes the next n bytes of the stream, or those up to the word of the
// break_limit-th break (then w.stopped is set). Report has
//   on_break(bytes, alt, neu, pos)   for each break, as found;
//   on_event(const word_event&)      for each event told.
template <class Report>
void word_feed(word_state& w, const std::uint8_t* p, std::size_t n, Report& report) {
    const std::size_t skipped = w.skip < n ? static_cast<std::size_t>(w.skip) : n;
    w.skip -= skipped;
    w.l_counter += skipped;
    p += skipped;
    n -= skipped;
    const unsigned size = w.fmt.bytes;
    const std::uint8_t* const first = p;  // holds the stream's byte `origin` + 1
    const std::uint64_t origin = w.l_counter + w.partial_len;
    const std::size_t total = n;
    while (n > 0 && !w.stopped) {
        std::size_t used = 0;
        if (w.slip.active) {
            used = detail::slip_feed(w, p, n, report);
        } else if (w.partial_len > 0) {  // a word begun in an earlier call is finished first
            w.partial[w.partial_len++] = *p;
            used = 1;
            if (w.partial_len == size) {
                w.partial_len = 0;
                detail::take_word(w, detail::load_word(w.partial, size, w.fmt.big_endian), report);
            }
        } else if (n < size) {
            for (std::size_t i = 0; i < n; ++i) w.partial[w.partial_len++] = p[i];
            used = n;
        } else if (!w.first_seen || w.take_next) {
            detail::take_word(w, detail::load_word(p, size, w.fmt.big_endian), report);
            used = size;
        } else {
            const std::uint64_t before = w.l_counter;
            if (w.fmt.big_endian)
                detail::scan_words<true>(w, p, n - n % size, report);
            else
                detail::scan_words<false>(w, p, n - n % size, report);
            used = static_cast<std::size_t>(w.l_counter - before);  // less where the search or a stop begins
        }
        p += used;
        n -= used;
    }
    if (w.stopped) detail::diagnose_at_stop(w, first, origin, total, report);
}

// The stream has ended: the tracker's account is closed. A word the stream
// ended inside (w.partial_len bytes of it) is not checked.
template <class Report>
void word_end(word_state& w, Report& report) {
    if (w.slip.active) detail::slip_end(w, report);
    if (!w.diagnosing) return;
    if (w.first_seen) detail::note_run(w, w.run_first, w.Word_alt, w.l_counter - w.fmt.bytes);
    if (w.seq.locked && !w.seq.late_run) return;
    seq_out& out = w.out;  // reused: a fresh one a word costs more than the check
    out.n = 0;
    seq_end(w.seq, w.end_pos != 0 ? w.end_pos : w.l_counter + 1, out);
    w.pending = false;
    detail::tell(out, report);
}

// The bits that never were 1 (`set`), or never 0, in the words of a stream
// with breaks, each over at least 2^(bit+1) words: stuck data lines.
inline std::uint64_t word_bits_never(const word_state& w, bool set) {
    if (!w.diagnosing || w.error == 0 || !w.first_seen) return 0;
    const std::uint64_t words = (w.l_counter - w.first_at) / w.fmt.bytes;
    std::uint64_t seen_often = 0;
    for (unsigned bit = 0; bit < 63 && (words >> (bit + 1)) != 0; ++bit)
        seen_often |= std::uint64_t{1} << bit;
    return ~(set ? w.ones : w.zeros) & w.mask & seen_often;
}

// Every byte taken so far: l_counter and the bytes of an unfinished word,
// which at the end are left over.
inline std::uint64_t word_bytes(const word_state& w) {
    return w.l_counter + w.partial_len;
}
