#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.hpp"
#include "link/counter.hpp"
#include "reference.hpp"
#include "verify/block_scan.hpp"

namespace {

// Each test runs once per block test version; vector versions the processor
// lacks are skipped, the portable one never is.
class BlockScan : public testing::TestWithParam<block_impl> {
protected:
    void SetUp() override {
        const bool selected = block_impl_select(GetParam());
        if (GetParam() == block_impl::portable) {
            ASSERT_TRUE(selected);
        }
        if (!selected) GTEST_SKIP() << block_impl_name(GetParam()) << " not available";
    }
    void TearDown() override { block_impl_reset(); }
};

TEST_P(BlockScan, SelectingInstallsThatVersion) {
    EXPECT_EQ(block_impl_active(), GetParam());
    EXPECT_EQ(block_continues_active, block_impl_fn(GetParam()));
    // Every other available version is a different function.
    for (block_impl other : {block_impl::portable, block_impl::avx2, block_impl::avx512})
        if (other != GetParam() && block_impl_available(other)) {
            EXPECT_NE(block_impl_fn(other), block_impl_fn(GetParam())) << block_impl_name(other);
        }
}

TEST(BlockScanDefault, IsTheFastestAvailable) {
    block_impl_reset();
    const std::uint8_t block[block_size] = {};
    block_continues(block, 0);
    const block_impl best = block_impl_available(block_impl::avx512) ? block_impl::avx512
                            : block_impl_available(block_impl::avx2) ? block_impl::avx2
                                                                     : block_impl::portable;
    EXPECT_EQ(block_continues_active, block_impl_fn(best));  // settled on by the first test
    EXPECT_EQ(block_impl_active(), best);
    EXPECT_STREQ(block_impl_name(static_cast<block_impl>(3)), "?");
#if defined(__linux__) && defined(__x86_64__)
    // The kernel's own flags, an oracle that knows nothing of this code; under
    // an emulator's processor model, which the kernel does not see, the
    // flags of that model, from CTRCHECK_CPU_FLAGS.
    const char* model = std::getenv("CTRCHECK_CPU_FLAGS");
    std::ifstream cpuinfo(model != nullptr ? "/dev/null" : "/proc/cpuinfo");
    std::istringstream given(model != nullptr ? model : "");
    std::set<std::string> flags{std::istream_iterator<std::string>(cpuinfo), {}};
    flags.insert(std::istream_iterator<std::string>(given), {});
    EXPECT_EQ(block_impl_available(block_impl::avx2), flags.count("avx2") == 1);
    EXPECT_EQ(block_impl_available(block_impl::avx512),
              flags.count("avx512f") + flags.count("avx512bw") == 2);
#endif
}

TEST_P(BlockScan, AcceptsOnlyPerfectBlocks) {
    for (unsigned first = 0; first < 256; first += 17) {
        std::vector<std::uint8_t> b = counter_bytes(block_size, static_cast<std::uint8_t>(first));
        const auto prev = static_cast<std::uint8_t>(first - 1);
        EXPECT_TRUE(block_continues(b.data(), prev));
        EXPECT_FALSE(block_continues(b.data(), static_cast<std::uint8_t>(prev + 1)));
        // A single wrong byte anywhere, the last vector's overlap included.
        for (std::size_t i = 0; i < block_size; ++i) {
            b[i] ^= 0x40;
            EXPECT_FALSE(block_continues(b.data(), prev)) << "byte " << i;
            b[i] ^= 0x40;
        }
    }
}

// The whole run against a plain byte-by-byte check, with breaks placed around
// block boundaries, at the first and the last byte, near wraps and in runs of
// 255.
TEST_P(BlockScan, SameReportAsThePlainCheck) {
    std::mt19937 rng(12345);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same inputs every run
    std::vector<std::vector<std::uint8_t>> inputs;
    for (std::size_t size : {1002u, 2001u, 2002u, 3003u, 10007u}) {
        for (std::size_t pos : {1u, 999u, 1000u, 1001u, 1002u, 2000u, 2001u, 2002u, 3000u}) {
            if (pos > size) continue;
            for (unsigned first : {1u, 0u, 200u}) {
                auto v = counter_bytes(size, static_cast<std::uint8_t>(first));
                v[pos - 1] = static_cast<std::uint8_t>(v[pos - 1] + 1 + rng() % 255);
                inputs.push_back(v);
                v[size - 1] ^= 1;  // and the last byte
                inputs.push_back(v);
            }
        }
    }
    auto runs = counter_bytes(6000);
    for (std::size_t i = 900; i < 1100; ++i) runs[i] = 255;  // a run of 255 across a boundary
    runs[4000] = 255;                                        // 255 followed by a non-zero
    inputs.push_back(runs);
    for (int k = 0; k < 8; ++k) {
        std::vector<std::uint8_t> noise(1000 * static_cast<std::size_t>(k) + rng() % 3000 + 1);
        std::generate(noise.begin(), noise.end(), [&] { return static_cast<std::uint8_t>(rng()); });
        inputs.push_back(noise);
    }
    for (const auto& in : inputs) {
        const run_output r = verify_bytes(in);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.out, reference_report(in.data(), in.size())) << "size " << in.size();
    }
}

// Words of every width and byte order: the `bytes`-byte words prev + 1, ...
std::vector<std::uint8_t> word_ramp_bytes(std::size_t n, unsigned bytes, bool big, std::uint64_t prev) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t v = prev + 1 + i / bytes;
        const auto j = static_cast<unsigned>(i % bytes);
        b[i] = static_cast<std::uint8_t>(v >> (8 * (big ? bytes - 1 - j : j)));
    }
    return b;
}

constexpr struct {
    unsigned bytes;
    bool big;
} word_formats[] = {{1, false}, {2, false}, {2, true}, {4, false}, {4, true}, {8, false}, {8, true}};

TEST_P(BlockScan, WordRampAcceptsOnlyPerfectBlocks) {
    for (const auto& f : word_formats) {
        const word_ramp_fn ramp = word_ramp(GetParam(), f.bytes, f.big);
        for (std::uint64_t prev :
             {std::uint64_t{0}, std::uint64_t{0x1234567890abcdef}, ~std::uint64_t{0} - 100}) {
            auto b = word_ramp_bytes(block_size, f.bytes, f.big, prev);
            EXPECT_TRUE(ramp(b.data(), prev)) << f.bytes << f.big;
            EXPECT_FALSE(ramp(b.data(), prev + 1));
            for (std::size_t i = 0; i < block_size; ++i) {
                b[i] ^= 0x80;
                EXPECT_FALSE(ramp(b.data(), prev)) << f.bytes << f.big << " byte " << i;
                b[i] ^= 0x80;
            }
        }
    }
}

struct collected {
    std::string breaks, events;
    void on_break(unsigned /*bytes*/, std::uint64_t alt, std::uint64_t neu, std::uint64_t pos) {
        breaks += std::to_string(alt) + " " + std::to_string(neu) + " @ " + std::to_string(pos) + "\n";
    }
    void on_event(const word_event& e) {
        auto field = [&](const char* name, std::uint64_t v) {
            events += std::string(" ") + name + "=" + std::to_string(v);
        };
        events += std::string(event_name(e.kind)) + " " + std::to_string(e.pos);
        if (e.kind == event_kind::restart) {
            field("from", e.from);
            field("to", e.to);
        } else if (e.kind == event_kind::slip) {
            field("bytes", e.bytes);
        } else {
            field("words", e.words);
        }
        if (e.has_value) field("value", e.value);
        if (e.kind == event_kind::corrupt && e.expected != e.got) {
            field("expected", e.expected);
            field("got", e.got);
        }
        events += "\n";
    }
    // The totals as the reference writes them.
    void end(const word_state& w) {
        const event_counts& c = w.seq.counts;
        const std::uint64_t bits =
            std::accumulate(std::begin(c.bit_errors), std::end(c.bit_errors), std::uint64_t{0});
        events += "totals";
        for (const std::uint64_t x :
             {c.corrupt, c.corrupt_words, c.lost, c.lost_words, c.repeat, c.repeated_words, c.stuck,
              c.stuck_words, c.inserted, c.inserted_words, c.late, c.late_words, c.restart, c.slip, bits,
              w.ones, w.zeros, std::uint64_t{w.partial_len}})
            events.append(" ").append(std::to_string(x));
        events += "\n";
    }
};

// Random streams of every width, byte order, wrap rule and lock, with words
// corrupted, lost, repeated, jumped over (across the wrap too), swapped,
// stuck, inserted and restarted, fed in pieces of any size: the breaks and
// the account are those of the reference, and every byte is counted.
TEST_P(BlockScan, WordCheckMatchesTheReference) {
    std::mt19937_64 rng(2026);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same inputs every run
    auto below = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    for (int round = 0; round < 40; ++round) {
        const auto& f = word_formats[static_cast<std::size_t>(round) % std::size(word_formats)];
        const bool wrap_any = round % 3 == 0;
        const std::size_t skip = round % 4 == 1 ? below(11) : 0;
        const bool any_start = round % 5 == 2;
        std::uint64_t v = rng() % 3;
        if (round % 2 != 0) v = ~std::uint64_t{0} - std::uint64_t{300} * f.bytes;  // across the wrap
        std::vector<std::uint8_t> s(skip);
        std::generate(s.begin(), s.end(), [&rng] { return static_cast<std::uint8_t>(rng()); });
        const std::size_t words = 4000 + below(3000);
        for (std::size_t k = 0; k < words; ++k) {
            const auto fault = rng() % (round % 2 != 0 ? 400 : 20000);  // 0-10: a fault
            std::uint64_t put = ++v;
            if (fault == 0) put ^= std::uint64_t{1} << (rng() % (std::uint64_t{8} * f.bytes));  // corrupt
            if (fault == 1) v += rng() % 300;                                                   // lost
            if (fault == 2) v -= rng() % 300;                                                   // repeated
            if (fault == 3) put = v = rng();                                                    // jumped
            if (fault == 4) put = v = ~std::uint64_t{0};                                        // all-ones
            if (fault == 5) put = v = 0;                                                        // restart
            const std::size_t run = 1 + below(std::size_t{f.bytes} * 40);
            std::vector<std::uint64_t> extra;                               // words before `put`
            if (fault == 6) extra.assign(run, rng() % 4 == 0 ? 0 : rng());  // inserted
            if (fault == 7 || fault == 8) {                                 // swapped, stuck
                const std::uint64_t same = rng();
                for (std::size_t i = 0; i < run; ++i)
                    extra.push_back(fault == 8 ? same : put + (i + run / 2) % run);
                put = v = put + run;
            }
            for (const std::uint64_t x : extra)
                for (unsigned j = 0; j < f.bytes; ++j)
                    s.push_back(static_cast<std::uint8_t>(x >> (8 * (f.big ? f.bytes - 1 - j : j))));
            if (fault == 9) s.resize(s.size() - below(f.bytes));             // bytes lost: the grid slips
            if (fault == 10) s.push_back(static_cast<std::uint8_t>(rng()));  // a byte put in
            for (unsigned j = 0; j < f.bytes; ++j)
                s.push_back(static_cast<std::uint8_t>(put >> (8 * (f.big ? f.bytes - 1 - j : j))));
        }
        s.resize(s.size() - below(f.bytes));  // a word cut short at the end
        const unsigned lock = std::initializer_list<unsigned>{4, 1, 2, 7}.begin()[round % 4];
        word_state w;
        word_start(w, {f.bytes, f.big, wrap_any}, any_start, skip, skip != 0, true, lock);
        collected got;
        for (std::size_t at = 0; at < s.size();) {
            const std::size_t n = std::min(s.size() - at, below(2500) + 1);
            word_feed(w, s.data() + at, n, got);
            at += n;
        }
        word_end(w, got);
        got.end(w);
        EXPECT_EQ(got.breaks + got.events,
                  reference_words(s, skip, any_start || skip != 0, f.bytes, f.big, wrap_any, lock))
            << "round " << round;
        EXPECT_EQ(word_bytes(w), s.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, BlockScan,
                         testing::Values(block_impl::portable, block_impl::avx2, block_impl::avx512),
                         [](const testing::TestParamInfo<block_impl>& p) {
                             return std::string(block_impl_name(p.param));
                         });

}  // namespace
