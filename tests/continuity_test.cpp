#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.hpp"
#include "verify/console.hpp"
#include "verify/continuity_check.hpp"

namespace {

struct example {
    std::vector<std::uint8_t> bytes;
    const char* breaks;
    int count;
};

TEST(Continuity, ReportsEveryBreakAndNothingElse) {
    const example cases[] = {
        {{254, 255, 7, 8, 255, 0}, "0 254 @ 1\n8 255 @ 5\n", 2},
        {{1, 2, 4, 5}, "2 4 @ 3\n", 1},              // dropped byte
        {{1, 2, 2, 3}, "2 2 @ 3\n", 1},              // repeated byte
        {{1, 2, 9, 4, 5}, "2 9 @ 3\n9 4 @ 4\n", 2},  // corrupted byte: two lines
        {{1, 2, 3, 255, 0, 1}, "3 255 @ 4\n", 1},
        {{253, 254, 255, 128, 129}, "0 253 @ 1\n", 1},  // anything may follow 255
        {{255, 17}, "0 255 @ 1\n", 1},
        {{0, 1, 2}, "0 0 @ 1\n", 1},  // the first byte must be 1
        {{5, 6, 7}, "0 5 @ 1\n", 1},
        {{1, 1, 1}, "1 1 @ 2\n1 1 @ 3\n", 2},
        {{1}, "", 0},
        {{0}, "0 0 @ 1\n", 1},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 100}, "9 100 @ 10\n", 1},  // a break in the last byte
    };
    for (const example& c : cases) {
        const run_output r = verify_bytes(c.bytes);
        ASSERT_TRUE(r.ok);
        const std::string want = "Laenge = " + std::to_string(c.bytes.size() - 1) + " Bytes\n" + c.breaks +
                                 "0.000 MBytes gelesen, " + std::to_string(c.count) + " Fehler\n";
        EXPECT_EQ(r.out, want);
        EXPECT_EQ(r.st.error, c.count);
        EXPECT_EQ(r.err, "");
    }
}

TEST(Continuity, WrapsAreNotBreaks) {
    const run_output r = verify_bytes(counter_bytes(256 * 40 + 7));
    EXPECT_EQ(r.st.error, 0);
    EXPECT_EQ(r.out, "Laenge = 10246 Bytes\n0.010 MBytes gelesen, 0 Fehler\n");
}

TEST(Continuity, BreakLinesCarryFull64BitPositions) {
    struct row {
        std::uint8_t alt, neu;
        std::uint64_t pos;
        const char* line;
    };
    const row rows[] = {
        {3, 9, 4294967296ULL, "3 9 @ 4294967296\n"},
        {0, 0, 4294967297ULL, "0 0 @ 4294967297\n"},
        {254, 0, 18446744073709551615ULL, "254 0 @ 18446744073709551615\n"},
        {10, 100, 1, "10 100 @ 1\n"},
    };
    for (const row& w : rows) {
        run_state st;
        st.Byte_alt = w.alt;
        st.Byte_neu = w.neu;
        st.l_counter = w.pos;
        EXPECT_EQ(captured([&](console& out) { continuity_check(st, out); }), w.line);
        EXPECT_EQ(st.error, 1);
    }
}

TEST(Continuity, EveryByteValuePrintsAsItsDecimal) {
    for (unsigned v = 0; v < 256; ++v) {
        run_state st;
        st.Byte_alt = static_cast<std::uint8_t>(v);
        st.Byte_neu = static_cast<std::uint8_t>(v);  // never v + 1, so a break unless v is 255
        st.l_counter = 7;
        const std::string want = v == 255 ? "" : std::to_string(v) + " " + std::to_string(v) + " @ 7\n";
        EXPECT_EQ(captured([&](console& out) { continuity_check(st, out); }), want);
    }
}

TEST(Summary, FigureIsSizeMinusOneInMBytes) {
    struct row {
        std::uint64_t l;
        std::int64_t error;
        const char* line;
    };
    const row rows[] = {
        {0, 0, "0.000 MBytes gelesen, 0 Fehler\n"},
        {524, 0, "0.000 MBytes gelesen, 0 Fehler\n"},
        {525, 0, "0.001 MBytes gelesen, 0 Fehler\n"},  // rounded, not cut off
        {999, 0, "0.001 MBytes gelesen, 0 Fehler\n"},
        {65536, 0, "0.062 MBytes gelesen, 0 Fehler\n"},  // exactly half-way: as the C library rounds
        {1048576, 0, "1.000 MBytes gelesen, 0 Fehler\n"},
        {2621440, 3, "2.500 MBytes gelesen, 3 Fehler\n"},
        {4831838208ULL, 2, "4608.000 MBytes gelesen, 2 Fehler\n"},
        // More breaks than 32 bits can count.
        {2147483657ULL, 2147483658LL, "2048.000 MBytes gelesen, 2147483658 Fehler\n"},
        {18446744073709551615ULL, 0, "17592186044416.000 MBytes gelesen, 0 Fehler\n"},
        {196608, 0, "0.188 MBytes gelesen, 0 Fehler\n"},  // 0.1875: half-way, to even
        // The other half-way classes, 2^16 times an odd number.
        {327680, 0, "0.312 MBytes gelesen, 0 Fehler\n"},
        {458752, 0, "0.438 MBytes gelesen, 0 Fehler\n"},
        {589824, 0, "0.562 MBytes gelesen, 0 Fehler\n"},
        {720896, 0, "0.688 MBytes gelesen, 0 Fehler\n"},
        {851968, 0, "0.812 MBytes gelesen, 0 Fehler\n"},
        {983040, 0, "0.938 MBytes gelesen, 0 Fehler\n"},
        {9007199254740993ULL, 0, "8589934592.000 MBytes gelesen, 0 Fehler\n"},  // 2^53 + 1 as a double
        {9223372036854775808ULL, 0, "8796093022208.000 MBytes gelesen, 0 Fehler\n"},
        {9223372036855300096ULL, 0, "8796093022208.500 MBytes gelesen, 0 Fehler\n"},  // 2^63 + 2^19
    };
    const auto summary = [](std::uint64_t l, std::int64_t error) {
        run_state st;
        st.l = l;
        st.error = error;
        return captured([&](console& out) { continuity_summary(st, out); });
    };
    for (const row& w : rows) EXPECT_EQ(summary(w.l, w.error), w.line);
    // Away from half-way values every C library prints the same figure.
    for (std::uint64_t l = 1; l < (std::uint64_t{1} << 62); l = l * 3 + 7919) {
        if ((l * 1000) % 1048576 == 524288) continue;
        char want[96];
        std::snprintf(want, sizeof want, "%.3f MBytes gelesen, 0 Fehler\n",
                      static_cast<double>(l) / 1048576.0);
        EXPECT_EQ(summary(l, 0), want) << l;
    }
}

}  // namespace
