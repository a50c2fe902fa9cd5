#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.hpp"
#include "verify/capture_reader.hpp"
#include "verify/console.hpp"
#include "verify/platform.hpp"

#if defined(_WIN32)
#include <io.h>
#define CTRCHECK_TEST_PTY 0
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#define CTRCHECK_TEST_PTY 1
#endif

namespace {

void close_descriptor_behind_its_back(std::FILE* f) {
#if defined(_WIN32)
    _close(_fileno(f));
#else
    close(fileno(f));
#endif
}

// Puts `calls` in place of the real read calls for the life of the guard.
struct reads_replaced {
    capture_reads saved = capture_read_calls;
    explicit reads_replaced(const capture_reads& calls) { capture_read_calls = calls; }
    ~reads_replaced() { capture_read_calls = saved; }
    reads_replaced(const reads_replaced&) = delete;
    reads_replaced& operator=(const reads_replaced&) = delete;
};

struct read_counts {
    std::uint64_t blocks = 0, singles = 0, odd_requests = 0;
} counts;
capture_reads real_reads = capture_read_calls;

std::size_t counted_block(void* dst, std::size_t n, std::FILE* in) {
    ++counts.blocks;
    if (n != block_size) ++counts.odd_requests;
    return real_reads.block(dst, n, in);
}

int counted_byte(std::FILE* in) {
    ++counts.singles;
    return real_reads.byte(in);
}

TEST(ReadSchedule, BlocksAndSingleBytesBySize) {
    struct row {
        std::uint64_t size, blocks, singles;
    };
    const row rows[] = {
        {1, 0, 1},
        {2, 0, 2},
        {999, 0, 999},
        {1000, 0, 1000},
        {1001, 0, 1001},
        {1002, 1, 2},
        {1003, 1, 3},
        {2001, 1, 1001},
        {2002, 2, 2},
        {2003, 2, 3},
        {5555, 5, 555},
        {1048577, 1048, 577},
        {4831838208ULL, 4831838, 208},  // counted, not walked
    };
    const reads_replaced guard({counted_block, counted_byte});
    for (const row& w : rows) {
        EXPECT_EQ(block_count(w.size - 1), w.blocks) << w.size;
        if (w.size > (1u << 21)) continue;
        counts = {};
        const run_output r = verify_bytes(counter_bytes(static_cast<std::size_t>(w.size)));
        ASSERT_TRUE(r.ok) << w.size;
        EXPECT_EQ(counts.blocks, w.blocks) << w.size;
        EXPECT_EQ(counts.singles, w.singles) << w.size;
        EXPECT_EQ(counts.odd_requests, 0u) << w.size;
        // Every byte once, in order: a perfect counter stays perfect.
        EXPECT_EQ(r.st.l_counter, w.size);
        EXPECT_EQ(r.st.error, 0) << w.size;
        EXPECT_EQ(r.st.Byte_neu, static_cast<std::uint8_t>(w.size)) << w.size;
        EXPECT_EQ(r.out.rfind("Laenge = " + std::to_string(w.size - 1) + " Bytes\n", 0), 0u);
    }
}

TEST(ReadSchedule, EmptyInputIsRefused) {
    const run_output r = verify_bytes(nullptr, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ctrcheck: 'mem': file is empty\n");
    EXPECT_EQ(r.st.l_counter, 0u);
}

// Reads that deliver the first `delivered` bytes of a perfect counter and
// then end: at the end of the file, or with a read error whose errno is
// ENXIO or, as some systems leave it, untouched. A successful read leaves a
// stale errno behind, as it may.
enum class ending { eof, error, error_no_errno };
struct fault {
    std::uint64_t delivered;
    ending how;
    std::uint64_t pos = 0;
} active;

std::size_t fault_fill(void* dst, std::size_t n, std::FILE* in) {
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, active.delivered - active.pos));
    for (std::size_t i = 0; i < k; ++i)
        static_cast<std::uint8_t*>(dst)[i] = static_cast<std::uint8_t>(active.pos + i + 1);
    active.pos += k;
    if (k == n) errno = EAGAIN;
    if (k < n && active.how == ending::eof) {
        // The real stream reaches its end as well.
        std::fseek(in, 0, SEEK_END);
        (void)std::fgetc(in);
    } else if (k < n && active.how == ending::error) {
        errno = ENXIO;
    }
    return k;
}

int fault_byte(std::FILE* in) {
    std::uint8_t b = 0;
    return fault_fill(&b, 1, in) == 1 ? b : EOF;
}

TEST(ReadSchedule, ShortReadStopsAtTheFirstMissingByte) {
    struct row {
        fault f;
        std::string err;
    };
    const std::string eof = "unexpected end of file";
    const row rows[] = {
        // ends inside the block phase, inside the byte phase, at the last byte
        {{2500, ending::eof}, "byte 2501 of 5000 could not be read: " + eof},
        {{4500, ending::eof}, "byte 4501 of 5000 could not be read: " + eof},
        {{4999, ending::eof}, "byte 5000 of 5000 could not be read: " + eof},
        {{0, ending::eof}, "byte 1 of 5000 could not be read: " + eof},
        {{1500, ending::error}, "byte 1501 of 5000 could not be read: " + std::string(std::strerror(ENXIO))},
        {{4200, ending::error}, "byte 4201 of 5000 could not be read: " + std::string(std::strerror(ENXIO))},
        {{3100, ending::error_no_errno},
         "byte 3101 of 5000 could not be read: " + std::string(std::strerror(EIO))},
        {{4600, ending::error_no_errno},
         "byte 4601 of 5000 could not be read: " + std::string(std::strerror(EIO))},
    };
    const auto path = scratch_path();
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    const auto data = counter_bytes(5000);
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
    std::fclose(f);
    const reads_replaced guard({fault_fill, fault_byte});
    for (const row& w : rows) {
        active = w.f;
        const run_output r = verify_stream(std::fopen(path.string().c_str(), "rb"));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, "ctrcheck: 'mem': " + w.err + "\n");
        // Everything that did arrive was checked; nothing was made up, and
        // no summary claims the bytes that never came.
        EXPECT_EQ(r.st.l_counter, w.f.delivered);
        EXPECT_EQ(r.st.error, 0);
        EXPECT_EQ(r.out, "Laenge = 4999 Bytes\n");
    }
    std::filesystem::remove(path);
}

TEST(ReadSchedule, FileTruncatedWhileBeingRead) {
    const auto path = scratch_path();
    // Larger than the stream's buffer, which the seek back to the start may
    // already have filled.
    const auto data = counter_bytes(4u << 20);
    std::FILE* w = std::fopen(path.string().c_str(), "wb");
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), w), data.size());
    std::fclose(w);

    std::FILE* in = std::fopen(path.string().c_str(), "rb");
    ASSERT_NE(in, nullptr);
    static console out;
    console_on_scratch(out);
    run_state st;
    ASSERT_TRUE(capture_probe(in, "cap", st, out));
    std::error_code ec;
    std::filesystem::resize_file(path, 600000, ec);  // shrinks after it was measured
    if (ec) GTEST_SKIP() << "cannot shrink an open file here: " << ec.message();
    EXPECT_FALSE(capture_walk(in, "cap", st, out));
    EXPECT_EQ(read_back(out.diagnostics),
              "ctrcheck: 'cap': byte 600001 of 4194304 could not be read: unexpected end of file\n");
    EXPECT_EQ(st.l_counter, 600000u);
    EXPECT_EQ(st.error, 0);
    std::fclose(in);
    std::fclose(out.diagnostics);
    console_close(out);
    std::filesystem::remove(path);
}

TEST(ReadSchedule, StopsEarlyOnceTheReportCannotBeWritten) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    const std::vector<std::uint8_t> zeros(8u << 20);  // every byte a break
    std::FILE* in = scratch_with(zeros.data(), zeros.size());
    static console out;
    console_open(out, full);
    out.diagnostics = scratch_file();
    run_state st;
    ASSERT_TRUE(capture_probe(in, "mem", st, out));
    EXPECT_TRUE(capture_walk(in, "mem", st, out));
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.err, ENOSPC);
    EXPECT_LT(st.l_counter, zeros.size() / 2);
    EXPECT_FALSE(console_close(out));
    EXPECT_EQ(out.err, ENOSPC);
    std::fclose(out.diagnostics);
    std::fclose(in);
}

// Standard output that fails at different moments: the run must end in
// failure, with the reason the system gave.
TEST(Console, FailuresKeepTheirReason) {
    static console out;
    if (std::FILE* full = std::fopen("/dev/full", "w")) {
        // The first failing write is the one inside a complaint.
        console_open(out, full);
        out.diagnostics = scratch_file();
        console_put(out, "FILE = capture.dat\n");
        complain(out, "cannot open it");
        EXPECT_FALSE(console_close(out));
        EXPECT_EQ(out.err, ENOSPC) << std::strerror(out.err);
        std::fclose(out.diagnostics);
    }
    // Everything was flushed, then the close itself fails.
    console_open(out, scratch_file());
    console_put(out, "Laenge = 0 Bytes\n");
    ASSERT_TRUE(console_finish(out));
    close_descriptor_behind_its_back(out.stream);
    EXPECT_FALSE(console_close(out));
    EXPECT_EQ(out.err, EBADF) << std::strerror(out.err);
}

#if defined(__GLIBC__)
// A stream that fails without saying why (a cookie stream) gets EIO; the
// first failure stops all writes, its reason survives the close, and a
// console opened again starts clean.
TEST(Console, SilentFailureIsAnInputOutputError) {
    static int writes = 0;
    cookie_io_functions_t io{};
    io.write = [](void*, const char*, std::size_t) -> ssize_t {
        ++writes;
        errno = 0;
        return -1;
    };
    static console out;
    console_open(out, fopencookie(nullptr, "w", io));
    std::setvbuf(out.stream, nullptr, _IONBF, 0);
    console_put(out, "1 3 @ 2\n");
    console_flush(out);
    const int seen = writes;
    EXPECT_TRUE(out.failed);
    for (int k = 0; k < 3; ++k) console_flush((console_put(out, "1 3 @ 2\n"), out));
    // cppcheck-suppress knownConditionTrueFalse ; the writes are counted behind its back
    EXPECT_EQ(writes, seen);
    EXPECT_FALSE(console_close(out));
    EXPECT_EQ(out.err, EIO) << std::strerror(out.err);
    console_open(out, scratch_file());
    EXPECT_TRUE(!out.failed && out.err == 0 && out.len == 0);
    EXPECT_TRUE(console_close(out));
}
#endif

#if !defined(_WIN32)
// The stream is opened without waiting, but reads from it block as usual.
TEST(Open, StreamIsLeftBlocking) {
    int err = 0;
    std::FILE* f = platform_open(scratch_path().string().c_str(), err);
    EXPECT_EQ(f, nullptr);
    const auto path = scratch_path();
    std::fclose(std::fopen(path.string().c_str(), "wb"));
    f = platform_open(path.string().c_str(), err);
    ASSERT_NE(f, nullptr) << std::strerror(err);
    EXPECT_EQ(fcntl(fileno(f), F_GETFL) & O_NONBLOCK, 0);
    std::fclose(f);
    std::filesystem::remove(path);
}
#endif

#if defined(_WIN32)
// The full path's length decides on the \\?\ form: a relative name short of
// the limit is long in any folder; short names and devices keep their form,
// a name in that form is never normalised, and a lone surrogate survives.
TEST(WindowsNames, FullPathLengthDecidesTheLongForm) {
    EXPECT_EQ(platform_system_name(std::string(247, 'a').c_str()).rfind("\\\\?\\", 0), 0U);
    const std::string deep = "\\\\?\\Z:\\" + std::string(250, 'a') + "\\t.dat.";
    for (const char* kept : {"capture.dat", "NUL", deep.c_str(), "x\xed\xa0\x80\xf0\x9d\x84\x9e.dat"})
        EXPECT_EQ(platform_system_name(kept), kept);
}
#endif

#if CTRCHECK_TEST_PTY
// Someone watching a terminal sees each line as soon as it is complete.
TEST(Console, TerminalGetsEveryLineAtOnce) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) GTEST_SKIP() << "no pseudo-terminals here: " << std::strerror(errno);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::FILE* tty = std::fopen(ptsname(master), "w");
    ASSERT_NE(tty, nullptr);
    static console out;
    console_open(out, tty);
    EXPECT_TRUE(out.per_line);
    console_put(out, "0 5 @ 1\n");
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1) << "the line was held back";
    char got[64] = {};
    EXPECT_GT(read(master, got, sizeof got - 1), 0);
    EXPECT_EQ(std::string(got).substr(0, 7), "0 5 @ 1");
    console_close(out);
    close(master);
}
#endif

}  // namespace
