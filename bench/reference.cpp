// Yardsticks for the benchmark: the straightforward ways to write the
// verifier, over the same plain reference check the tests use.
//   reference printf FILE   fread into a 1000-byte buffer, one printf per
//                           break; the same output as ctrcheck on any file
//                           it can read.
//   reference getc FILE     one getc call per byte.
//   reference random N FILE writes N pseudo-random bytes (the same ones
//                           every time) to FILE: a break on nearly every byte.
//   reference ramp32 N FILE writes N bytes of a 32-bit little-endian counter
//                           from 1 to FILE.
//   reference prbs P N E FILE writes N bytes of the PRBS numbered P (0 for
//                           prbs7 ... 7 for prbs31) to FILE, a bit in E
//                           flipped on average (0: none).
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/prbs.hpp"
#include "reference.hpp"

namespace {
void by_blocks(std::FILE* in) {
    fseeko(in, 0, SEEK_END);
    const std::uint64_t l = static_cast<std::uint64_t>(ftello(in)) - 1;
    fseeko(in, 0, SEEK_SET);
    std::printf("Laenge = %" PRIu64 " Bytes\n", l);
    std::uint8_t SR[1000];
    reference_check check;
    for (std::size_t n; (n = std::fread(SR, 1, sizeof SR, in)) != 0;)
        for (std::size_t i = 0; i < n; ++i)
            if (check.next(SR[i])) std::printf("%u %u @ %" PRIu64 "\n", check.prev, check.cur, check.pos);
    std::printf("%.3f MBytes gelesen, %" PRId64 " Fehler\n", static_cast<double>(l) / 1048576.0,
                check.breaks);
}

void by_getc(std::FILE* in) {
    reference_check check;
    for (int c; (c = std::getc(in)) != EOF;)
        if (check.next(static_cast<unsigned>(c)))
            std::printf("%u %u @ %" PRIu64 "\n", check.prev, check.cur, check.pos);
    std::printf("%" PRIu64 " bytes, %" PRId64 " breaks\n", check.pos, check.breaks);
}
}  // namespace

int write_random(const char* count, const char* path) {
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return 1;
    std::uint64_t x = 0x9e3779b97f4a7c15ULL;  // xorshift64, fixed seed
    std::uint8_t buf[1 << 16];
    for (std::uint64_t left = std::strtoull(count, nullptr, 10); left > 0;) {
        const std::size_t n = left < sizeof buf ? static_cast<std::size_t>(left) : sizeof buf;
        for (std::size_t i = 0; i < n; ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            buf[i] = static_cast<std::uint8_t>(x >> 56);
        }
        if (std::fwrite(buf, 1, n, out) != n) return 1;
        left -= n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

int write_ramp32(const char* count, const char* path) {
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return 1;
    std::uint32_t word = 0;
    std::uint8_t buf[1 << 16];
    for (std::uint64_t left = std::strtoull(count, nullptr, 10); left > 0;) {
        const std::size_t n = left < sizeof buf ? static_cast<std::size_t>(left) : sizeof buf;
        for (std::size_t i = 0; i < n; ++i) {
            if (i % 4 == 0) ++word;
            buf[i] = static_cast<std::uint8_t>(word >> (8 * (i % 4)));
        }
        if (std::fwrite(buf, 1, n, out) != n) return 1;
        left -= n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

int write_prbs(const char* pattern, const char* count, const char* every, const char* path) {
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return 1;
    prbs_format fmt;
    fmt.pattern = static_cast<unsigned>(std::strtoul(pattern, nullptr, 10)) % prbs_pattern_count;
    const std::uint64_t e = std::strtoull(every, nullptr, 10);
    std::uint64_t history = 1, x = 0x9e3779b97f4a7c15ULL, bit = 0, next = e;
    std::uint8_t buf[1 << 16];
    for (std::uint64_t left = std::strtoull(count, nullptr, 10); left > 0;) {
        const std::size_t n = left < sizeof buf ? static_cast<std::size_t>(left) : sizeof buf;
        prbs_fill(buf, sizeof buf, history, fmt, false, false);
        while (e != 0 && next < bit + 8 * n) {  // flips spaced 1 to 2E-1 bits apart
            buf[(next - bit) / 8] ^= static_cast<std::uint8_t>(0x80U >> ((next - bit) % 8));
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            next += 1 + x % (2 * e - 1);
        }
        bit += 8 * n;
        if (std::fwrite(buf, 1, n, out) != n) return 1;
        left -= n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "prbs") == 0) return write_prbs(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 4 && std::strcmp(argv[1], "random") == 0) return write_random(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "ramp32") == 0) return write_ramp32(argv[2], argv[3]);
    if (argc != 3) return 2;
    std::FILE* in = std::fopen(argv[2], "rb");
    if (in == nullptr) return 1;
    if (std::strcmp(argv[1], "getc") == 0)
        by_getc(in);
    else
        by_blocks(in);
    std::fclose(in);
    return 0;
}
