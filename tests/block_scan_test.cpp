#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.hpp"
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

INSTANTIATE_TEST_SUITE_P(Versions, BlockScan,
                         testing::Values(block_impl::portable, block_impl::avx2, block_impl::avx512),
                         [](const testing::TestParamInfo<block_impl>& p) {
                             return std::string(block_impl_name(p.param));
                         });

}  // namespace
