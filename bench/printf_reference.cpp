// The straightforward way to write the verifier, kept as the yardstick for
// broken captures: fread into a 1000-byte buffer, one printf per break.
// Same output as ctrcheck on every input it can read.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const char* name = "capture.dat";
    for (int k = 1; k + 1 < argc; ++k)
        if (std::strcmp(argv[k], "-i") == 0) name = argv[++k];
    std::FILE* in = std::fopen(name, "rb");
    if (in == nullptr) return 1;
    fseeko(in, 0, SEEK_END);
    const std::uint64_t l = static_cast<std::uint64_t>(ftello(in)) - 1;
    fseeko(in, 0, SEEK_SET);
    std::printf("Laenge = %" PRIu64 " Bytes\n", l);
    std::uint8_t SR[1000];
    std::uint64_t pos = 0;
    std::int64_t errors = 0;
    unsigned prev = 0;
    for (;;) {
        const std::size_t n = std::fread(SR, 1, sizeof SR, in);
        if (n == 0) break;
        for (std::size_t i = 0; i < n; ++i) {
            ++pos;
            const unsigned b = SR[i];
            if (b != prev + 1 && prev != 255) {
                ++errors;
                std::printf("%u %u @ %" PRIu64 "\n", prev, b, pos);
            }
            prev = b;
        }
    }
    std::printf("%.3f MBytes gelesen, %" PRId64 " Fehler\n", static_cast<double>(l) / 1048576.0, errors);
    std::fclose(in);
    return 0;
}
