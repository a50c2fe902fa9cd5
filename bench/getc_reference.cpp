// A verifier that reads one byte per getc call: the slow way round, kept to
// show what the block reads and the whole-block test buy on clean captures.
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
    std::uint64_t pos = 0;
    std::int64_t errors = 0;
    unsigned prev = 0;
    for (int c; (c = std::getc(in)) != EOF; prev = static_cast<unsigned>(c)) {
        ++pos;
        if (static_cast<unsigned>(c) != prev + 1 && prev != 255) {
            ++errors;
            std::printf("%u %d @ %" PRIu64 "\n", prev, c, pos);
        }
    }
    std::printf("%" PRIu64 " bytes, %" PRId64 " breaks\n", pos, errors);
    std::fclose(in);
    return 0;
}
