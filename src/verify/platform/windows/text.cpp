// Windows text: names and the command line in UTF-16, converted to and
// from the UTF-8 that the rest of the tool works in.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "internal.hpp"
#include "verify/platform.hpp"

namespace {
// msvcrt's own command-line parser, the one its startup code uses for wmain.
struct startup_info {
    int new_mode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int glob, startup_info* info);

}  // namespace

bool win::to_utf8(const wchar_t* w, std::string& s) {
    s.clear();
    for (; *w != L'\0'; ++w) {
        auto c = static_cast<std::uint32_t>(*w);
        const auto next = static_cast<std::uint32_t>(w[1]);
        if (c >= 0xd800 && c <= 0xdbff && next >= 0xdc00 && next <= 0xdfff) {
            c = 0x10000 + ((c - 0xd800) << 10) + (next - 0xdc00);
            ++w;
        }
        if (c < 0x80) {
            s += static_cast<char>(c);
            continue;
        }
        static constexpr std::uint32_t lead[] = {0, 0xc0, 0xe0, 0xf0};
        const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        s += static_cast<char>(lead[tail] | (c >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) s += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3f));
    }
    return true;
}

bool win::to_wide(const char* s, std::wstring& w) {
    w.clear();
    for (const auto* c = reinterpret_cast<const unsigned char*>(s); *c != 0;) {
        std::uint32_t cp = *c;
        int tail = 0;
        std::uint32_t least = 0;
        if (cp >= 0xf5 || (cp >= 0x80 && cp < 0xc2)) return false;
        if (cp >= 0x80) {
            tail = cp >= 0xf0 ? 3 : cp >= 0xe0 ? 2 : 1;
            static constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
            least = smallest[tail];
            cp &= 0x3fu >> tail;
        }
        ++c;
        for (int k = 0; k < tail; ++k, ++c) {
            if ((*c & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (*c & 0x3fu);
        }
        if (cp < least || cp > 0x10ffff) return false;
        if (cp >= 0x10000) {
            w += static_cast<wchar_t>(0xd800 + ((cp - 0x10000) >> 10));
            w += static_cast<wchar_t>(0xdc00 + (cp & 0x3ff));
        } else {
            w += static_cast<wchar_t>(cp);
        }
    }
    return true;
}

void platform_args(int& argc, char**& argv) {
    // The narrow argv is in the ANSI code page, which cannot hold every file
    // name; the wide one can. The copies live as long as the process.
    static std::vector<std::string> utf8;
    static std::vector<char*> pointers;
    int wargc = 0;
    wchar_t** wargv = nullptr;
    wchar_t** wenv = nullptr;
    startup_info info{0};
    if (__wgetmainargs(&wargc, &wargv, &wenv, 0, &info) != 0 || wargv == nullptr) return;
    const auto n = static_cast<std::size_t>(wargc);
    utf8.resize(n);
    pointers.assign(n + 1, nullptr);
    for (std::size_t k = 0; k < n; ++k) {
        if (!win::to_utf8(wargv[k], utf8[k])) return;
        pointers[k] = utf8[k].data();
    }
    argc = wargc;
    argv = pointers.data();
}
