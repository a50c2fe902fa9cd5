#include "name_display.hpp"

#include <cstring>

namespace {
// The letter of a C escape for byte b, or 0 where there is none.
char escape_letter(unsigned char b) {
    switch (b) {
        case '\a':
            return 'a';
        case '\b':
            return 'b';
        case '\t':
            return 't';
        case '\n':
            return 'n';
        case '\v':
            return 'v';
        case '\f':
            return 'f';
        case '\r':
            return 'r';
        default:
            return 0;
    }
}

// Length of the well-formed UTF-8 character at c (1 to 4), or 0 where c
// starts none: a stray continuation byte, an over-long form, a surrogate,
// a code point past U+10FFFF, or a sequence cut short.
int utf8_length(const unsigned char* c) {
    if (*c < 0x80) return 1;
    // The range the second byte must lie in, by lead byte; the bytes after it
    // are always 80..BF.
    unsigned char lo = 0x80;
    unsigned char hi = 0xbf;
    int n = 0;
    if (*c >= 0xc2 && *c <= 0xdf) {
        n = 2;
    } else if (*c >= 0xe0 && *c <= 0xef) {
        n = 3;
        if (*c == 0xe0) lo = 0xa0;  // over-long below it
        if (*c == 0xed) hi = 0x9f;  // surrogates above it
    } else if (*c >= 0xf0 && *c <= 0xf4) {
        n = 4;
        if (*c == 0xf0) lo = 0x90;
        if (*c == 0xf4) hi = 0x8f;  // past U+10FFFF above it
    } else {
        return 0;
    }
    if (c[1] < lo || c[1] > hi) return 0;
    for (int k = 2; k < n; ++k)
        if (c[k] < 0x80 || c[k] > 0xbf) return 0;
    return n;
}
}  // namespace

shown_name show_name(const char* name) {
    shown_name shown{};
    // The longest piece (a three-byte character escaped, 12 bytes) and then
    // "..." and the 0 always fit.
    constexpr std::size_t room = sizeof shown.text - 16;
    static const char hex[] = "0123456789abcdef";
    char* p = shown.text;
    for (const auto* c = reinterpret_cast<const unsigned char*>(name); *c != 0;) {
        if (static_cast<std::size_t>(p - shown.text) >= room) {
            // Cut between characters, never inside one.
            std::memcpy(p, "...", 3);
            p += 3;
            break;
        }
        const int n = utf8_length(c);
        // A C1 control is two bytes in UTF-8: C2 80 to C2 9F. It is escaped
        // whole, as is any byte that is not part of a well-formed character,
        // and so are the characters that can reorder or break the line they
        // stand in: the line and paragraph separators, U+2028 and U+2029
        // (E2 80 A8/A9), the bidirectional controls U+202A to U+202E
        // (E2 80 AA..AE) and U+2066 to U+2069 (E2 81 A6..A9), and the
        // bidirectional marks U+200E and U+200F (E2 80 8E/8F) and U+061C
        // (D8 9C), which change how neutral characters beside them run.
        const bool control =
            *c < 0x20 || *c == 0x7f || (n == 2 && *c == 0xc2 && c[1] <= 0x9f) ||
            (n == 2 && *c == 0xd8 && c[1] == 0x9c) ||
            (n == 3 && *c == 0xe2 &&
             ((c[1] == 0x80 && ((c[2] >= 0xa8 && c[2] <= 0xae) || c[2] == 0x8e || c[2] == 0x8f)) ||
              (c[1] == 0x81 && c[2] >= 0xa6 && c[2] <= 0xa9)));
        if (n > 0 && !control) {
            std::memcpy(p, c, static_cast<std::size_t>(n));
            p += n;
            c += n;
        } else if (const char letter = escape_letter(*c)) {
            *p++ = '\\';
            *p++ = letter;
            ++c;
        } else {
            for (int k = 0; k < (n > 0 ? n : 1); ++k, ++c) {
                *p++ = '\\';
                *p++ = 'x';
                *p++ = hex[*c >> 4];
                *p++ = hex[*c & 15];
            }
        }
    }
    *p = '\0';
    return shown;
}
