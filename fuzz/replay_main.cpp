// Runs the fuzz target over files and directories of inputs, for compilers
// without libFuzzer: the checked-in corpus becomes an ordinary test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {
bool replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot open '%s'\n", file.string().c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int k = 1; k < argc; ++k) {
        std::error_code ec;
        if (!std::filesystem::is_directory(argv[k], ec)) {
            inputs.emplace_back(argv[k]);
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argv[k]))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    bool ok = !inputs.empty();
    for (const auto& file : inputs) ok = replay(file) && ok;
    std::printf("replayed %zu inputs\n", inputs.size());
    return ok ? 0 : 1;
}
