#include "capture_reader.hpp"

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstring>

#include "continuity_check.hpp"
#include "platform.hpp"

capture_reads capture_read_calls = {platform_read, platform_getc, platform_read_in_place};

namespace {
// The stream reads ahead in large requests; the 1000-byte block reads are then
// copies out of this buffer. One stream per run, so one buffer. 256 KiB stays
// in the processor's cache between the system's copy into it and the block
// reads out of it: a clean 1 GiB takes an eighth less processor time than
// with 1 MiB.
constexpr std::size_t input_buffer_size = std::size_t{1} << 18;
alignas(64) char input_buffer[input_buffer_size];

// Bytes between two checkpoints: each MiB.
constexpr std::uint64_t checkpoint_bytes = std::uint64_t{1} << 20;

bool size_unknown(const char* name, int err, console& out) {
    return capture_size_unknown(name, std::strerror(err != 0 ? err : EIO), out);
}

// Why a stream of this kind has no size; null for the kinds that have one.
const char* sizeless_kind(file_kind kind) {
    switch (kind) {
        case file_kind::measurable:
            return nullptr;
        case file_kind::directory:
            return "Is a directory";
        case file_kind::fifo:
            return "Is a FIFO or pipe";
        case file_kind::socket:
            return "Is a socket";
        case file_kind::char_device:
            return "Is a character device";
        case file_kind::unknown:
            break;
    }
    return errno != 0 ? std::strerror(errno) : "Is of an unknown kind";
}

// Each MiB of the walk: the lines found so far are handed
// on where nobody sees them line by line (a file, a pipe), so that a long run
// shows them; a status request is answered; a stop signal ends the walk,
// saying where. False when the walk is to end.
bool checkpoint(const run_state& st, console& out) {
    if (!out.per_line) console_finish(out);
    const std::uint64_t size = st.l + 1;
    if (platform_take_status_request()) {
        const double percent = 100 * static_cast<double>(st.l_counter) / static_cast<double>(size);
        complain(out, "%" PRIu64 " of %" PRIu64 " bytes (%.1f%%), %" PRId64 " breaks so far", st.l_counter,
                 size, percent, st.error);
    }
    if (platform_stop_signal() == 0) return true;
    complain(out, "interrupted at byte %" PRIu64 " of %" PRIu64, st.l_counter, size);
    return false;
}

bool read_failed(std::FILE* in, const char* name, int err, const run_state& st, console& out) {
    if (platform_stop_signal() != 0) return checkpoint(st, out);  // the read was cut short by it
    // A read that came back short without reaching the end of the file failed.
    const char* reason = "unexpected end of file";
    if (std::feof(in) == 0) reason = std::strerror(err != 0 ? err : EIO);
    complain(out, "'%s': byte %" PRIu64 " of %" PRIu64 " could not be read: %s", show_name(name).text,
             st.l_counter + 1, st.l + 1, reason);
    return false;
}
}  // namespace

bool capture_size_unknown(const char* name, const char* reason, console& out) {
    complain(out, "cannot determine the size of '%s': %s", show_name(name).text, reason);
    return false;
}

bool capture_open_failed(const char* name, int err, console& out) {
    if (err == EINTR && platform_stop_signal() != 0) {
        // Stopped while the open waited for a lease to break.
        const std::int64_t size = platform_name_size(name);
        complain(out, "interrupted at byte 0 of %" PRIu64, static_cast<std::uint64_t>(size < 0 ? 0 : size));
        return false;
    }
    // ENXIO says only "no such device": the name may be a socket.
    const file_kind kind = err == EISDIR  ? file_kind::directory
                           : err == ENXIO ? platform_name_kind(name)
                                          : file_kind::unknown;
    if (kind == file_kind::directory || kind == file_kind::socket)
        return capture_size_unknown(name, sizeless_kind(kind), out);
    complain(out, "cannot open '%s': %s", show_name(name).text, std::strerror(err));
    return false;
}

bool capture_probe(std::FILE* in, const char* name, run_state& st, console& out) {
    std::setvbuf(in, input_buffer, _IOFBF, input_buffer_size);

    // Only a regular file or a block device has a size that its end tells:
    // a directory may claim a huge one, a FIFO none, /dev/zero none that is
    // true. The kind decides before any size is trusted.
    errno = 0;
    if (const char* why = sizeless_kind(platform_file_kind(in))) return capture_size_unknown(name, why, out);

    if (platform_seek(in, 0, SEEK_END) != 0) return size_unknown(name, errno, out);
    const std::int64_t end = platform_tell(in);
    if (end < 0) return size_unknown(name, errno, out);
    if (end == 0) {
        // The size minus one would not be a size; nothing to check either.
        complain(out, "'%s': file is empty", show_name(name).text);
        return false;
    }
    if (platform_seek(in, 0, SEEK_SET) != 0) return size_unknown(name, errno, out);

    st.l = static_cast<std::uint64_t>(end) - 1;
    char line[console_max_line] = "Laenge = ";
    char* p = std::to_chars(line + 9, line + sizeof line, st.l).ptr;
    std::memcpy(p, " Bytes\n", 7);
    console_put(out, std::string_view(line, static_cast<std::size_t>(p + 7 - line)));
    // At once, also into a file: the run may be long.
    console_finish(out);
    return true;
}

bool capture_walk(std::FILE* in, const char* name, run_state& st, console& out) {
    for (std::uint64_t n = block_count(st.l); n > 0 && !out.failed; --n) {
        // Checked where stdio holds it, when it can be: the copy into SR
        // costs as much processor time as the check itself.
        const std::uint8_t* block =
            capture_read_calls.in_place ? capture_read_calls.in_place(in, block_size) : nullptr;
        if (block == nullptr) {
            errno = 0;
            const std::size_t got = capture_read_calls.block(st.SR, block_size, in);
            if (got != block_size) {
                const int err = errno;
                // What did arrive is checked; what did not is not made up.
                continuity_walk(st, st.SR, got, out);
                return read_failed(in, name, err, st, out);
            }
            block = st.SR;
        }
        continuity_block(st, block, out);
        if ((st.l_counter & (checkpoint_bytes - 1)) < block_size && !checkpoint(st, out)) return false;
    }
    while (st.l_counter <= st.l && !out.failed) {
        errno = 0;
        const int c = capture_read_calls.byte(in);
        if (c == EOF) return read_failed(in, name, errno, st, out);
        ++st.l_counter;
        st.Byte_alt = st.Byte_neu;
        st.Byte_neu = static_cast<std::uint8_t>(c);
        continuity_check(st, out);
    }
    return true;
}
