// Pseudo-random bit sequences of the ITU-T O.150 family: each bit the XOR
// of the bits n and k places before it. One module generates a pattern and
// checks it, so that what a sender writes is what the checker expects.
//
// The stream's words (8 to 64 bits, either byte order) make one bit stream,
// each word from its most or its least significant bit. The bits are worked
// on 64 at a time, the first bit the most significant of a `unit`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "error_seconds.hpp"
#include "verify/block_scan.hpp"

struct prbs_pattern {
    std::string_view name;
    unsigned n, k;  // the lags: x^n + x^k + 1
};

inline constexpr prbs_pattern prbs_patterns[] = {
    {"prbs7", 7, 6},   {"prbs9", 9, 5},    {"prbs11", 11, 9},  {"prbs15", 15, 14},
    {"prbs20", 20, 3}, {"prbs23", 23, 18}, {"prbs29", 29, 27}, {"prbs31", 31, 28},
};
inline constexpr unsigned prbs_pattern_count = sizeof prbs_patterns / sizeof prbs_patterns[0];

enum class prbs_choice : std::uint8_t { automatic, yes, no };  // --invert
enum class bit_order : std::uint8_t { automatic, msb, lsb };   // --bit-order

struct prbs_format {
    unsigned pattern = 0;     // index into prbs_patterns
    unsigned bytes = 1;       // the word: 1, 2, 4 or 8 bytes
    bool big_endian = false;  // ... most significant byte first
    bit_order order = bit_order::automatic;
    prbs_choice invert = prbs_choice::automatic;
    std::uint64_t line_rate = 0;  // bits of the stream in a second of a capture; 0: the read clock
};

// The 64 bits that follow `history`, the last 64 bits of the pattern (the
// latest the least significant), first bit most significant.
std::uint64_t prbs_next(std::uint64_t history, unsigned n, unsigned k);

// The unit of the 8 bytes at p under `fmt`'s word, byte and bit order
// (`lsb`: each word from its least significant bit), and back: the map is
// its own inverse.
std::uint64_t prbs_unit(const std::uint8_t* p, unsigned bytes, bool big_endian, bool lsb);
void prbs_store(std::uint8_t* p, std::uint64_t unit, unsigned bytes, bool big_endian, bool lsb);

// Writes `len` bytes of the pattern (a multiple of 8) at out, going on from
// `history` (updated); a generator of the pattern as the checker takes it.
void prbs_fill(std::uint8_t* out, std::size_t len, std::uint64_t& history, const prbs_format& fmt, bool lsb,
               bool inverted);

// An errored word: its first byte's position from 1, and its bits that were wrong.
struct prbs_error {
    std::uint64_t pos;
    std::uint64_t mask;  // the word's bits that were wrong, least significant 0
};

// A line of the check: an errored word, a sync or a sync loss.
struct prbs_line {
    enum kind_t : std::uint8_t { errored_word, sync_found, sync_lost } kind;
    std::uint64_t pos;
    std::uint64_t mask;  // error: the bits wrong; loss: how many of the last 128 bits
};

// Where the lines of a check go.
struct prbs_sink {
    void* to;
    void (*line)(void* to, const prbs_line& l);
};

// The whole-block test in sync: whether the units of the prbs_block_bytes
// at p (loaded first byte most significant), after the unit `prev` as read,
// each follow the rule of lags n and k, inverted where `sense` is all ones.
// A block that passes is error-free when the n bits before it were.
inline constexpr std::size_t prbs_block_bytes = 256;
using prbs_block_fn = bool (*)(const std::uint8_t* p, std::uint64_t prev, unsigned n, unsigned k,
                               std::uint64_t sense);
// The version `impl` where this build and processor have it (AVX-512 takes
// the AVX2 one), else the portable one.
prbs_block_fn prbs_block(block_impl impl);

// One bit order's search for sync.
struct prbs_lane {
    std::uint64_t prev = 0;   // the unit before, as read
    std::uint64_t zeros = 0;  // bits in a row up to the last that follow the pattern's rule
    std::uint64_t ones = 0;   // ... that follow the inverted pattern's rule
};

struct prbs_state {
    prbs_format fmt;
    unsigned n = 7, k = 6;
    std::uint64_t skip = 0;     // the bytes passed over at the start
    std::uint64_t fed = 0;      // bytes taken, the skipped ones included
    std::uint8_t pend[8] = {};  // the bytes of a unit begun in an earlier call
    unsigned pend_len = 0;
    std::uint64_t trailing = 0;   // bytes of a last word that the stream ended inside
    std::uint64_t units = 0;      // units worked on: the next starts at bit 64 * units
    std::uint64_t read_bits = 0;  // bits worked on (of whole words)
    std::uint64_t acq_from = 0;   // the bit where the search for sync starts (a first state bit)
    prbs_lane lane[2];            // msb first, lsb first
    bool synced = false, ever_synced = false;
    bool lsb = false, inverted = false;  // as found at the first sync, kept after it
    std::uint64_t prev = 0;              // in sync: the unit before, as read (in the pattern's sense)
    std::uint64_t ref = 0;               // ... the unit expected there
    bool clean = false;                  // ... its last n bits were those expected
    std::uint64_t d1 = 0, d2 = 0;        // the wrong bits of the two units before, since the sync
    // Figures.
    std::uint64_t bits = 0;  // checked in sync
    std::uint64_t bit_errors = 0, errored_words = 0, sync_losses = 0;
    std::uint64_t sync_at = 0;  // the byte of the first sync's first state bit, from 1; 0: none
    error_seconds es;
    std::uint64_t second = 0;  // the read clock's second of the bytes being checked
    prbs_sink sink{};
    prbs_block_fn block = nullptr;  // the whole-block test
};

// A fresh check of `fmt`, the first `skip` bytes passed over, lines to `sink`.
void prbs_start(prbs_state& s, const prbs_format& fmt, std::uint64_t skip, prbs_sink sink);

// Checks `len` more bytes, read in the second `second` of the read clock.
void prbs_feed(prbs_state& s, const std::uint8_t* data, std::size_t len, std::uint64_t second);

// The bytes of a last unit begun: their whole words are checked.
void prbs_end(prbs_state& s);

// Bits read and not checked in sync: before each sync's check and after each loss.
inline std::uint64_t prbs_unsynced_bits(const prbs_state& s) {
    return s.read_bits - s.bits;
}
