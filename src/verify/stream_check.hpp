// Checking a stream of any kind read to its end: a file, a device, a pipe,
// standard input. No size is needed beforehand and memory stays fixed. The
// counter rule and the break lines are those of a capture's check; reads
// take what has arrived, so that the report of a slow link keeps up with it,
// and a stop signal ends a read that waits.
#pragma once

#include <cstdint>

#include "console.hpp"

struct stream_options {
    bool any_start = false;  // the first byte may be anything: the check starts with the second
    bool quiet = false;      // no break lines, only the summaries
    bool json = false;       // one JSON object a stream instead of the text
    bool progress = false;   // a progress line on stderr about once a second
    bool prefix = false;     // each break line starts with "<name>: "
    // Break lines a stream, or breaks listed in its JSON object, at most;
    // counting goes on past them.
    std::uint64_t max_lines = UINT64_MAX;
};

enum class stream_result {
    clean,        // read to its end, no break
    breaks,       // read to its end, at least one break
    trouble,      // could not be opened or read to its end, or the report could not be written
    interrupted,  // a stop signal ended the read; what was read is reported
};

// Checks the stream `name` ("-" is standard input) and reports on `out`: its
// break lines and the summary "<name>: <N> bytes, <M> breaks", or one JSON
// object. One that cannot be opened or read is reported on stderr as
// "<program>: <name>: <reason>", with the name shown safely.
stream_result stream_check(const char* name, const stream_options& opt, console& out);
