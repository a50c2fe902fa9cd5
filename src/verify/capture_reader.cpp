#include "capture_reader.hpp"

#include <sys/stat.h>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstring>

#include "continuity_check.hpp"

#if defined(__GLIBC__)
#define CTR_FREAD fread_unlocked
#else
#define CTR_FREAD std::fread
#endif

namespace {
// The stream reads ahead in large requests; the 1000-byte block reads are then
// copies out of this buffer. One stream per run, so one buffer.
constexpr std::size_t input_buffer_size = std::size_t{1} << 18;
alignas(64) char input_buffer[input_buffer_size];

bool size_unknown(const char* name, int err, console& out) {
    complain(out, "cannot determine the size of '%s': %s", name, std::strerror(err));
    return false;
}

bool read_failed(std::FILE* in, const char* name, int err, const run_state& st, console& out) {
    const char* reason = "unexpected end of file";
    if (std::ferror(in) != 0) reason = std::strerror(err != 0 ? err : EIO);
    complain(out, "'%s': byte %" PRIu64 " of %" PRIu64 " could not be read: %s", name, st.l_counter + 1,
             st.l + 1, reason);
    return false;
}
}  // namespace

bool capture_probe(std::FILE* in, const char* name, run_state& st, console& out) {
    std::setvbuf(in, input_buffer, _IOFBF, input_buffer_size);

    // Linux opens a directory for reading and some file systems then report a
    // huge size for it; refuse it before it is measured.
    struct stat info {};
    const int fd = fileno(in);
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) return size_unknown(name, EISDIR, out);

    if (fseeko(in, 0, SEEK_END) != 0) return size_unknown(name, errno, out);
    const off_t end = ftello(in);
    if (end < 0) return size_unknown(name, errno, out);
    if (end == 0) {
        // The size minus one would not be a size; nothing to check either.
        complain(out, "'%s': file is empty", name);
        return false;
    }
    if (fseeko(in, 0, SEEK_SET) != 0) return size_unknown(name, errno, out);

    st.l = static_cast<std::uint64_t>(end) - 1;
    char line[console_max_line] = "Laenge = ";
    char* p = std::to_chars(line + 9, line + sizeof line, st.l).ptr;
    std::memcpy(p, " Bytes\n", 7);
    console_put(out, std::string_view(line, static_cast<std::size_t>(p + 7 - line)));
    return true;
}

bool capture_walk(std::FILE* in, const char* name, run_state& st, console& out) {
    for (std::uint64_t n = block_count(st.l); n > 0 && !out.failed; --n) {
        const std::size_t got = CTR_FREAD(st.SR, 1, block_size, in);
        if (got != block_size) {
            const int err = errno;
            // What did arrive is checked; what did not is not made up.
            continuity_walk(st, st.SR, got, out);
            return read_failed(in, name, err, st, out);
        }
        continuity_block(st, out);
    }
    while (st.l_counter <= st.l && !out.failed) {
        const int c = getc_unlocked(in);
        if (c == EOF) return read_failed(in, name, errno, st, out);
        ++st.l_counter;
        st.Byte_alt = st.Byte_neu;
        st.Byte_neu = static_cast<std::uint8_t>(c);
        continuity_check(st, out);
    }
    return true;
}
