// Measuring a capture and delivering its bytes, in file order and exactly
// once each, to the continuity check: 1000-byte blocks while more than 1001
// bytes remain, then one byte at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "console.hpp"
#include "run_state.hpp"

// Number of 1000-byte blocks read for an input whose last byte has index l;
// the remaining l + 1 - 1000 * blocks bytes are read one at a time.
constexpr std::uint64_t block_count(std::uint64_t l) {
    // A block is read while l_counter + 1000 < l, l_counter going 0, 1000, ...
    return l == 0 ? 0 : (l - 1) / block_size;
}

// The read calls of the schedule: a block read of n bytes and a
// single-byte read (EOF when none came), with fread's and getc's results,
// and the block taken in place from the stream's buffer when it is there
// (null: always `block`). Tests replace them to count or fail reads.
struct capture_reads {
    std::size_t (*block)(void* dst, std::size_t n, std::FILE* in);
    int (*byte)(std::FILE* in);
    const std::uint8_t* (*in_place)(std::FILE* in, std::size_t n) = nullptr;
};
extern capture_reads capture_read_calls;

// Reports on stderr that the size of `name` cannot be determined, and why;
// gives false.
bool capture_size_unknown(const char* name, const char* reason, console& out);

// Reports on stderr that `name` could not be opened, with the reason `err`.
// A directory or a socket is reported as such, as when it opens: the kind of
// file is the true reason there, where the system names a vaguer one (a
// socket's open fails with "No such device or address"). Gives false.
bool capture_open_failed(const char* name, int err, console& out);

// Gives `in` a large buffer, seeks to its end to measure it, sets st.l to the
// size minus one, prints "Laenge = <l> Bytes" (handed on at once) and seeks
// back to the start.
// An input that is not a regular file or block device, or whose size cannot
// be determined or is zero, is reported on stderr under `name`; then nothing
// is printed on stdout and the result is false.
bool capture_probe(std::FILE* in, const char* name, run_state& st, console& out);

// Hands the st.l + 1 bytes of `in` to the check. A byte that cannot be read
// (the file shrank, an I/O error) ends the walk there, is reported on stderr
// and gives false; no byte is ever made up. Also ends early, but with true,
// once the console has failed: nobody would see what follows. Each MiB it
// hands on the lines found, answers a status request on stderr, and ends
// with false on a stop signal, saying where it stopped.
bool capture_walk(std::FILE* in, const char* name, run_state& st, console& out);
