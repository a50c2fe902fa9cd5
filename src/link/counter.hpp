// The counter of a link in words of 8, 16, 32 or 64 bits, in either byte
// order: each word is the one before it plus one, modulo 2^bits (after the
// all-ones word comes 0, or, with wrap_any, anything). Each break is counted
// and reported as it is found; once the word after it has come, it is also
// diagnosed:
//   - the next word is the expected one plus one: the word was corrupt (one
//     event, however many breaks the rule counted for it);
//   - else, with d = got - expected (mod 2^bits): d words were lost when d
//     is below half the range, and 2^bits - d words came again otherwise.
// A break in the last word is judged by d alone.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "verify/block_scan.hpp"
#include "verify/run_state.hpp"
#include "verify/word_load.hpp"

struct word_format {
    unsigned bytes = 1;       // 1, 2, 4 or 8
    bool big_endian = false;  // the most significant byte comes first
    bool wrap_any = false;    // the word after all-ones may be anything
};

enum class event_kind { corrupt, lost, repeat };

struct word_event {
    event_kind kind = event_kind::corrupt;
    std::uint64_t pos = 0;       // position of the word's first byte, from 1
    std::uint64_t expected = 0;  // corrupt: the word that should have come
    std::uint64_t got = 0;       // corrupt: the word that came
    std::uint64_t words = 0;     // lost, repeat: how many words
};

struct event_counts {
    std::uint64_t corrupt = 0, lost = 0, lost_words = 0, repeat = 0, repeated_words = 0;
    // Per bit, least significant first: how often a corrupt word had it wrong.
    std::uint64_t bit_errors[64] = {};
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
    bool pending = false;                    // a break waits for the next word to be diagnosed
    std::uint64_t break_limit = UINT64_MAX;  // the check stops at this break
    bool stopped = false;                    // ... and has: the rest of what was fed is not taken
    word_event held;                         // that break: pos, expected, got
    unsigned partial_len = 0;                // bytes of a word begun in an earlier call
    std::uint8_t partial[8] = {};            // ... and those bytes
    word_ramp_fn ramp = nullptr;             // whole-block test of this format
    event_counts events;
};

// A fresh state for `fmt`: the word before the first is taken as 0 unless
// `any_start`; the first `skip` bytes are passed over, and with `skip_given`
// the word after them starts the check as with any_start. Breaks are
// diagnosed unless `diagnosing` is false.
void word_start(word_state& w, word_format fmt, bool any_start, std::uint64_t skip, bool skip_given,
                bool diagnosing = true);

namespace detail {
// The event for the break held, given the word after it (`next`), or none
// (`last`); counted, and handed to report.on_event. True when it was corrupt.
template <class Report>
bool diagnose(word_state& w, std::uint64_t next, bool last, Report& report) {
    word_event& e = w.held;
    w.pending = false;
    event_counts& c = w.events;
    if (!last && next == ((e.expected + 1) & w.mask)) {
        e.kind = event_kind::corrupt;
        ++c.corrupt;
        for (std::uint64_t x = e.got ^ e.expected; x != 0; x &= x - 1) ++c.bit_errors[std::countr_zero(x)];
    } else {
        const std::uint64_t d = (e.got - e.expected) & w.mask;
        const bool lost = d <= (w.mask >> 1);
        e.kind = lost ? event_kind::lost : event_kind::repeat;
        e.words = lost ? d : (0 - d) & w.mask;
        std::uint64_t& total = lost ? c.lost_words : c.repeated_words;
        total = total + e.words < total ? UINT64_MAX : total + e.words;  // saturates
        ++(lost ? c.lost : c.repeat);
    }
    report.on_event(static_cast<const word_event&>(e));
    return e.kind == event_kind::corrupt;
}

// The word `got` at position w.l_counter + 1, after a mismatch or with a
// break held: the rule, the report, the diagnosis. Off the fast path.
template <class Report>
void judge(word_state& w, std::uint64_t got, Report& report) {
    const std::uint64_t alt = w.Word_alt;
    const std::uint64_t expected = (alt + 1) & w.mask;
    const bool broken = got != expected && !(w.fmt.wrap_any && alt == w.mask);
    if (broken) {
        ++w.error;
        report.on_break(w.fmt.bytes, alt, got, w.l_counter + 1);
    }
    if (!w.diagnosing) return;
    // A word that mends the one before it was corrupt: its own break is part of that event.
    if (w.pending && diagnose(w, got, false, report)) return;
    if (broken) {
        w.pending = true;
        w.held.pos = w.l_counter + 1;
        w.held.expected = expected;
        w.held.got = got;
    }
}

// The check stopped at its last break, which still waits for the word after
// it: where that word is among the `n` bytes at `first` (the stream's bytes
// from `origin` on), it diagnoses the break, as it would have without the
// stop; it is not taken.
template <class Report>
void diagnose_at_stop(word_state& w, const std::uint8_t* first, std::uint64_t origin, std::size_t n,
                      Report& report) {
    if (!w.pending || w.l_counter < origin) return;
    const std::uint64_t at = w.l_counter - origin;
    if (at + w.fmt.bytes <= n)
        diagnose(w, load_word(first + at, w.fmt.bytes, w.fmt.big_endian), false, report);
}

// One whole word, from its bytes anywhere (a word begun in an earlier call).
template <class Report>
void take_word(word_state& w, std::uint64_t got, Report& report) {
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
    const bool count_only = !w.diagnosing && !w.fmt.wrap_any;
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
            if (w.stopped) return;
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
//   on_event(const word_event&)      for each diagnosis.
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
    // A word begun in an earlier call is finished first.
    while (w.partial_len > 0 && n > 0) {
        w.partial[w.partial_len++] = *p++;
        --n;
        if (w.partial_len < size) continue;
        w.partial_len = 0;
        detail::take_word(w, detail::load_word(w.partial, size, w.fmt.big_endian), report);
    }
    if (w.stopped)
        return detail::diagnose_at_stop(w, first, origin, n + static_cast<std::size_t>(p - first), report);
    if (w.take_next && n >= size) {
        detail::take_word(w, detail::load_word(p, size, w.fmt.big_endian), report);
        p += size;
        n -= size;
    }
    const std::size_t whole = n - n % size;
    if (w.fmt.big_endian)
        detail::scan_words<true>(w, p, whole, report);
    else
        detail::scan_words<false>(w, p, whole, report);
    if (w.stopped)
        return detail::diagnose_at_stop(w, first, origin, n + static_cast<std::size_t>(p - first), report);
    for (std::size_t i = whole; i < n; ++i) w.partial[w.partial_len++] = p[i];
}

// The stream has ended: a break still held is diagnosed. A word the stream
// ended inside (w.partial_len bytes of it) is not checked.
template <class Report>
void word_end(word_state& w, Report& report) {
    if (w.pending) detail::diagnose(w, 0, true, report);
}

// Every byte taken so far: l_counter and the bytes of an unfinished word,
// which at the end are left over.
inline std::uint64_t word_bytes(const word_state& w) {
    return w.l_counter + w.partial_len;
}
