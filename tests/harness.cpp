#include "harness.hpp"

#include <filesystem>
#include <random>
#include <system_error>

#include "verify/capture_reader.hpp"
#include "verify/continuity_check.hpp"

namespace {
// Files that could not be removed while open (Windows) go at exit.
struct leftovers {
    std::vector<std::filesystem::path> paths;
    ~leftovers() {
        std::error_code ec;
        for (const auto& p : paths) std::filesystem::remove(p, ec);
    }
};
}  // namespace

std::filesystem::path scratch_path() {
    static std::mt19937_64 rng{std::random_device{}()};
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec);
    for (;;) {
        auto path = dir / ("ctrcheck-test-" + std::to_string(rng()));
        if (!std::filesystem::exists(path, ec)) return path;
    }
}

std::FILE* scratch_file() {
    // std::tmpfile would do, but msvcrt puts it in the root of the drive.
    static leftovers later;
    const auto path = scratch_path();
    std::FILE* f = std::fopen(path.string().c_str(), "w+b");
    if (f == nullptr) {
        std::fprintf(stderr, "cannot make the scratch file %s\n", path.string().c_str());
        std::abort();
    }
    std::error_code ec;
    if (!std::filesystem::remove(path, ec)) later.paths.push_back(path);
    return f;
}

void console_on_scratch(console& out) {
    console_open(out, scratch_file());
    out.diagnostics = scratch_file();
}

std::FILE* scratch_with(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = scratch_file();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::rewind(f);
    return f;
}

std::string read_back(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[1 << 14];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    return s;
}

run_output verify_stream(std::FILE* in) {
    run_output r;
    static console out;
    console_on_scratch(out);
    r.ok = capture_probe(in, "mem", r.st, out) && capture_walk(in, "mem", r.st, out);
    if (r.ok) continuity_summary(r.st, out);
    console_finish(out);
    r.out = read_back(out.stream);
    r.err = read_back(out.diagnostics);
    std::fclose(out.diagnostics);
    console_close(out);
    std::fclose(in);
    return r;
}

run_output verify_bytes(const std::uint8_t* data, std::size_t size) {
    return verify_stream(scratch_with(data, size));
}

std::vector<std::uint8_t> counter_bytes(std::size_t n, std::uint8_t first) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}
