// The account of a sequence's breaks: a tracker fed the breaks of a
// sequence of numbers (counter words, and later frame numbers) and, while
// out of lock, every number, that tells each fault as what it was.
//
// A break ends lock. Lock returns at the first position Q where `lock`
// numbers in a row each are the one before plus one (or, where none came
// before the end, where a shorter run reaches it); a caller that looks at
// other byte offsets too finds lock itself (seq_lock_at). The span [P, Q) between the break at P and
// Q, with e expected at P, u numbers in it and v the number at Q, is told:
//   0. u >= 2, v = e + u, the span holds e .. e+u-1 in another order: late;
//   1. v = e + u: corrupt (stuck when u >= 2 numbers are all equal);
//   2. v = e: inserted;
//   3. else the span as in 1, taking u places, and v against the high water
//      h (one more than the furthest number reached): v = h nothing; v = 0
//      or the first number (16 bits and more) restart; ahead by less than
//      half the range lost (a gap opens); in an open gap late (told when
//      its run ends, taken back off the loss); else repeat.
#pragma once

#include <cstdint>
#include <string_view>

enum class event_kind { corrupt, lost, repeat, stuck, inserted, late, restart, slip, stall };

// "corrupt", "lost", ...: the kind's name in the report.
std::string_view event_name(event_kind kind);

struct word_event {
    event_kind kind = event_kind::corrupt;
    std::uint64_t pos = 0;       // position of the first byte concerned, from 1
    std::uint64_t expected = 0;  // corrupt, one word: the word that should have come
    std::uint64_t got = 0;       // ... and the one that came
    std::uint64_t words = 0;     // how many words (every kind but restart, slip, stall)
    std::uint64_t value = 0;     // stuck, and inserted with has_value: the word repeated
    bool has_value = false;
    std::uint64_t from = 0, to = 0;  // restart: the word before and the word after
    std::uint64_t bytes = 0;         // slip: the bytes the grid moved by
    double seconds = 0, since = 0;   // stall: how long, and when it began (the report's clock)
};

struct event_counts {
    std::uint64_t corrupt = 0, corrupt_words = 0, lost = 0, lost_words = 0, repeat = 0, repeated_words = 0;
    std::uint64_t stuck = 0, stuck_words = 0, inserted = 0, inserted_words = 0, late = 0, late_words = 0;
    std::uint64_t restart = 0, slip = 0, stall = 0;
    // Per bit, least significant first: how often a corrupt word had it wrong.
    std::uint64_t bit_errors[64] = {};
};

// Numbers of a span within which a reordering is recognised.
inline constexpr std::uint64_t seq_order_max = 1024;
// Gaps (lost numbers that may still come late) kept open at most.
inline constexpr unsigned seq_gaps_max = 16;
// Numbers in a row that give lock at most.
inline constexpr unsigned seq_lock_max = 64;

struct seq_gap {
    std::uint64_t lo = 0, hi = 0;  // the numbers [lo, hi) are missing
    std::uint64_t opened = 0;      // position where the gap opened
};

// The events a call told, in order.
struct seq_out {
    word_event e[4];
    unsigned n = 0;
};

struct seq_tracker {
    std::uint64_t mask = 0xff;  // the all-ones number
    std::uint64_t unit = 1;     // bytes per number
    unsigned lock = 4;          // numbers in a row that give lock
    bool wrap_any = false;      // after all-ones, any number continues a run
    bool restarts = false;      // a jump to 0 or the first number is a restart
    bool locked = true;
    bool high_set = false;
    std::uint64_t first = 0;  // the stream's first number
    std::uint64_t high = 0;   // high water
    seq_gap gaps[seq_gaps_max];
    unsigned gap_count = 0;
    // A run that fills a gap, told when it ends: where it began, its first
    // number, the end of the gap it fills.
    bool late_run = false;
    std::uint64_t late_pos = 0, late_value = 0, late_hi = 0;
    // Out of lock: the span from the break at `span_pos`, with `expected`
    // the number due there, its numbers so far and what they tell.
    std::uint64_t span_pos = 0, expected = 0, span = 0;
    std::uint64_t differing = 0, first_value = 0, before = 0;
    bool all_equal = true, in_order_set = true;  // ... all the same; a set of e .. e+u-1 so far
    std::uint64_t came_late = 0, top = 0;        // numbers below the highest before them; that highest
    std::uint64_t seen[seq_order_max / 64] = {};
    std::uint64_t bits_touched = 0, bits[64] = {};  // bit errors if the span is told corrupt,
    std::uint64_t planes[8] = {};  // ... the newest as 8-bit counters per bit, a plane a digit
    unsigned plane_adds = 0;
    // The run that may give lock: where it began and its numbers.
    std::uint64_t run_pos = 0, run[seq_lock_max] = {};
    unsigned run_len = 0;
    event_counts counts;
};

// A fresh tracker for numbers of `bits` bits, `unit` bytes apart, with
// lock after `lock` numbers in a row.
void seq_start(seq_tracker& t, unsigned bits, std::uint64_t unit, unsigned lock, bool wrap_any);

// The break at `pos`, in lock: `got` came where `expected` was due.
void seq_break(seq_tracker& t, std::uint64_t pos, std::uint64_t expected, std::uint64_t got, seq_out& out);

// The number at `pos`, out of lock.
void seq_next(seq_tracker& t, std::uint64_t pos, std::uint64_t got, seq_out& out);

// Lock found by the caller at `q` with v there, the grid moved by
// `slip_bytes` (0: not moved): the numbers fed since the break that end
// at or before q are the span; `before` is the number judged last.
void seq_lock_at(seq_tracker& t, std::uint64_t q, std::uint64_t v, std::uint64_t before,
                 std::uint64_t slip_bytes, seq_out& out);

// The sequence has ended before `end` (the position after its last number).
void seq_end(seq_tracker& t, std::uint64_t end, seq_out& out);
