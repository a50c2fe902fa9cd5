// What the Windows side of platform.hpp shares between its files.
#pragma once

#include <string>

namespace win {
// Names are converted as WTF-8: UTF-8 that also carries the lone surrogates
// that NTFS allows in a name (ED A0 80 to ED BF BF), so that every name
// converts both ways without loss. A name shown to a person has them
// escaped, as any byte sequence that is not well-formed UTF-8.
bool to_utf8(const wchar_t* w, std::string& s);

// False where `s` is not WTF-8 (an over-long form, a stray or missing
// continuation byte, a code point past U+10FFFF).
bool to_wide(const char* s, std::wstring& w);

// The name handed to the system for `name` (see platform_system_name);
// empty when the name is empty or not valid UTF-8.
std::wstring system_name(const char* name);
}  // namespace win
