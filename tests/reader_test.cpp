#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "harness.hpp"
#include "verify/capture_reader.hpp"
#include "verify/console.hpp"

namespace {

TEST(ReadSchedule, BlocksAndSingleBytesBySize) {
    struct row {
        std::uint64_t size, blocks, singles;
    };
    const row rows[] = {
        {1, 0, 1},
        {2, 0, 2},
        {1000, 0, 1000},
        {1001, 0, 1001},
        {1002, 1, 2},
        {2001, 1, 1001},
        {2002, 2, 2},
        {1048577, 1048, 577},
        {4831838208ULL, 4831838, 208},
    };
    for (const row& w : rows) {
        EXPECT_EQ(block_count(w.size - 1), w.blocks) << w.size;
        EXPECT_EQ(w.size - block_size * block_count(w.size - 1), w.singles) << w.size;
    }
}

TEST(ReadSchedule, EveryByteOnceAcrossBlockBoundaries) {
    for (std::size_t size : {1u, 2u, 999u, 1000u, 1001u, 1002u, 1003u, 2000u, 2001u, 2002u, 2003u, 5555u}) {
        const run_output r = verify_bytes(counter_bytes(size));
        ASSERT_TRUE(r.ok) << size;
        EXPECT_EQ(r.st.l_counter, size);
        EXPECT_EQ(r.st.l, size - 1);
        EXPECT_EQ(r.st.error, 0) << size;
        EXPECT_EQ(r.st.Byte_neu, static_cast<std::uint8_t>(size)) << size;
        EXPECT_EQ(r.out.rfind("Laenge = " + std::to_string(size - 1) + " Bytes\n", 0), 0u);
    }
}

TEST(ReadSchedule, EmptyInputIsRefused) {
    const run_output r = verify_bytes({});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ctrcheck: 'mem': file is empty\n");
    EXPECT_EQ(r.st.l_counter, 0u);
}

// A stream that claims `claimed` bytes of counter but delivers only the first
// `delivered`, then ends (fail_errno 0) or fails with fail_errno.
struct faulty {
    std::uint64_t claimed, delivered;
    int fail_errno;
    std::uint64_t pos = 0;
};

std::FILE* open_faulty(faulty& f) {
    cookie_io_functions_t io{};
    io.read = [](void* c, char* buf, std::size_t n) -> ssize_t {
        auto& s = *static_cast<faulty*>(c);
        if (s.pos >= s.delivered) {
            if (s.fail_errno == 0) return 0;
            errno = s.fail_errno;
            return -1;
        }
        const std::uint64_t k = std::min<std::uint64_t>(n, s.delivered - s.pos);
        for (std::uint64_t i = 0; i < k; ++i) buf[i] = static_cast<char>(s.pos + i + 1);
        s.pos += k;
        return static_cast<ssize_t>(k);
    };
    io.seek = [](void* c, off64_t* off, int whence) -> int {
        auto& s = *static_cast<faulty*>(c);
        const auto base = whence == SEEK_END ? s.claimed : whence == SEEK_CUR ? s.pos : 0;
        s.pos = base + static_cast<std::uint64_t>(*off);
        *off = static_cast<off64_t>(s.pos);
        return 0;
    };
    return fopencookie(&f, "rb", io);
}

TEST(ReadSchedule, ShortReadStopsAtTheFirstMissingByte) {
    struct row {
        faulty f;
        const char* err;
    };
    row rows[] = {
        // ends inside the block phase, inside the byte phase, at the last byte
        {{5000, 2500, 0}, "ctrcheck: 'mem': byte 2501 of 5000 could not be read: unexpected end of file\n"},
        {{5000, 4500, 0}, "ctrcheck: 'mem': byte 4501 of 5000 could not be read: unexpected end of file\n"},
        {{5000, 4999, 0}, "ctrcheck: 'mem': byte 5000 of 5000 could not be read: unexpected end of file\n"},
        {{5000, 0, 0}, "ctrcheck: 'mem': byte 1 of 5000 could not be read: unexpected end of file\n"},
        {{5000, 1500, EIO}, "ctrcheck: 'mem': byte 1501 of 5000 could not be read: Input/output error\n"},
        {{5000, 4200, EIO}, "ctrcheck: 'mem': byte 4201 of 5000 could not be read: Input/output error\n"},
    };
    for (row& w : rows) {
        const run_output r = verify_stream(open_faulty(w.f));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, w.err);
        // Everything that did arrive was checked; nothing was made up, and
        // no summary claims the bytes that never came.
        EXPECT_EQ(r.st.l_counter, w.f.delivered);
        EXPECT_EQ(r.st.error, 0);
        EXPECT_EQ(r.out, "Laenge = 4999 Bytes\n");
    }
}

TEST(ReadSchedule, FileTruncatedWhileBeingRead) {
    char path[] = "/tmp/ctrcheck-truncXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    // Larger than the stream's buffer, which the seek back to the start may
    // already have filled.
    const auto data = counter_bytes(1u << 20);
    ASSERT_EQ(write(fd, data.data(), data.size()), 1 << 20);
    close(fd);

    std::FILE* in = std::fopen(path, "rb");
    ASSERT_NE(in, nullptr);
    auto out = std::make_unique<console>();
    console_open(*out, std::tmpfile());
    run_state st;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(capture_probe(in, "cap", st, *out));
    ASSERT_EQ(truncate(path, 600000), 0);  // shrinks after it was measured
    EXPECT_FALSE(capture_walk(in, "cap", st, *out));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ctrcheck: 'cap': byte 600001 of 1048576 could not be read: unexpected end of file\n");
    EXPECT_EQ(st.l_counter, 600000u);
    EXPECT_EQ(st.error, 0);
    std::fclose(in);
    console_close(*out);
    std::remove(path);
}

TEST(ReadSchedule, StopsEarlyOnceTheReportCannotBeWritten) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    std::vector<std::uint8_t> zeros(8u << 20);  // every byte a break
    std::FILE* in = fmemopen(zeros.data(), zeros.size(), "rb");
    auto out = std::make_unique<console>();
    console_open(*out, full);
    run_state st;
    ASSERT_TRUE(capture_probe(in, "mem", st, *out));
    EXPECT_TRUE(capture_walk(in, "mem", st, *out));
    EXPECT_TRUE(out->failed);
    EXPECT_EQ(out->err, ENOSPC);
    EXPECT_LT(st.l_counter, zeros.size() / 2);
    EXPECT_FALSE(console_close(*out));
    std::fclose(in);
}

}  // namespace
