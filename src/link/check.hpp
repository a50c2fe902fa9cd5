// Checking a stream of any kind read to its end: a file, a device, a pipe,
// standard input. No size is needed beforehand and memory stays fixed. The
// counter is one of words of 8 to 64 bits, each break diagnosed; reads take
// what has arrived, so that the report of a slow link keeps up with it, and
// a stop signal ends a read that waits.
#pragma once

#include <cstdint>

#include "counter.hpp"
#include "prbs.hpp"
#include "verify/console.hpp"
#include "verify/name_display.hpp"

struct stream_options {
    std::uint64_t skip = 0;  // bytes passed over unchecked at the start
    // Break (or event) lines a stream, or breaks and events listed in its
    // JSON object, at most; counting goes on past them.
    std::uint64_t max_lines = UINT64_MAX;
    // A run that ends on its own, per stream.
    std::uint64_t byte_limit = UINT64_MAX;  // check this many bytes, then end as if the stream ended
    double duration = 0;                    // read this many seconds, then end so; 0: no limit
    double idle_timeout = 0;                // this long without a byte is trouble; 0: no limit
    const char* duration_text = "";         // the two as the user wrote them, for the messages
    const char* idle_text = "";
    std::uint64_t max_breaks = UINT64_MAX;  // end at this break
    double interval = 0;                    // a record of the interval this often; 0: none
    std::uint64_t first = 0;                // with first_given: the first word
    const char* first_text = "";            // ... as the user wrote it
    double stall = 0;                       // a silence this long is a stall event; 0: none
    word_format fmt;                        // word width, byte order, what follows all-ones
    prbs_format prbs;                       // with `prbs`: the pattern, bit order, sense, line rate
    unsigned lock = 4;                      // words in a row that give lock again after a break
    bool any_start = false;          // the first word may be anything: the check starts with the second
    bool explain = false;            // a line per diagnosed event instead of the break lines
    bool skip_given = false;         // --skip was given: the word after them starts the check
    bool quiet = false;              // no break lines, only the summaries
    bool json = false;               // one JSON object a stream instead of the text
    bool progress = false;           // a progress line on stderr about once a second
    bool prefix = false;             // each break line starts with "<name>: "
    bool byte_limit_given = false;   // --bytes was given (any value, the largest too)
    bool timestamps = false;         // break and event lines start with the UTC time found
    bool first_given = false;        // the first word must be `first`
    bool summary_on_stderr = false;  // the summary line on stderr too (-o FILE, stderr a terminal)
    bool prbs_on = false;            // the stream is a PRBS, not a counter
};

enum class stream_result {
    clean,        // read to its end, no break
    breaks,       // read to its end, at least one break
    trouble,      // could not be opened or read to its end, or the report could not be written
    interrupted,  // a stop signal ended the read; what was read is reported
};

struct stream_report;

// Reads ask for up to this much: few calls on a fast file, and whatever has
// arrived on a slow pipe. A buffer that stays in the processor's cache is
// as fast as a larger one, and 768 KiB less resident than 1 MiB.
inline constexpr std::size_t read_size = std::size_t{1} << 18;

// Checks the stream `name` ("-" is standard input; a terminal named is
// read raw and set back at the end) with the state `c`, which the caller
// makes (one is enough for any number of streams, one after the other), and
// reports on `out`: its break or event lines, the interval records and the
// summary "<name>: <N> bytes, <M> breaks", or JSON objects. One that cannot
// be opened or read is reported on stderr as "<program>: <name>: <reason>",
// with the name shown safely.
struct link_check;
stream_result stream_check(link_check& c, const char* name, const stream_options& opt, console& out);
