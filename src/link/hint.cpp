#include "hint.hpp"

#include "verify/word_load.hpp"

namespace {
// Whether the words of `fmt` at p[skip..n) follow the rule, the first after
// `before` (or anything with `any`); at least `least` words compared.
bool unbroken(const std::uint8_t* p, std::size_t n, word_format fmt, std::size_t skip, bool any,
              std::uint64_t before, std::size_t least) {
    const std::uint64_t mask = fmt.bytes >= 8 ? UINT64_MAX : (std::uint64_t{1} << (8 * fmt.bytes)) - 1;
    std::size_t compared = 0;
    for (std::size_t i = skip; i + fmt.bytes <= n; i += fmt.bytes) {
        const std::uint64_t got = detail::load_word(p + i, fmt.bytes, fmt.big_endian);
        if (!any) {
            if (got != ((before + 1) & mask) && !(fmt.wrap_any && before == mask)) return false;
            ++compared;
        }
        any = false;
        before = got;
    }
    return compared >= least;
}
}  // namespace

stream_hint find_hint(const std::uint8_t* p, std::size_t n, word_format fmt, std::uint64_t skip,
                      bool any_start, std::uint64_t before) {
    stream_hint h;
    // Unbroken as given, or but for its first word (a start --any-start
    // covers): no hint.
    const auto at_skip = static_cast<std::size_t>(skip);
    if (n < hint_least || skip >= n || unbroken(p, n, fmt, at_skip, any_start, before, 0) ||
        unbroken(p, n, fmt, at_skip, true, 0, 0))
        return h;
    // The nearest start first: a counter of small numbers in one byte order
    // is one in the other too, a few bytes on.
    for (std::size_t at = 0; at < hint_least; ++at)
        for (unsigned bytes = 1; bytes <= 8; bytes *= 2)
            for (int big = 0; big < (bytes == 1 ? 1 : 2); ++big) {
                const word_format f{bytes, big == 1, false};
                if (bytes == fmt.bytes && (big == 1) == fmt.big_endian && at == skip) continue;
                if (!unbroken(p, n, f, at, true, 0, 4)) continue;
                h = {true, bytes * 8, big == 1, at, n};
                return h;
            }
    return h;
}
