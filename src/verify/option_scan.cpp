#include "option_scan.hpp"

#include <cstdio>
#include <cstring>

bool detail::scan_fail(option_error& err, const char* before, const char* what, std::string_view a1,
                       std::string_view a2, std::string_view a3) {
    std::snprintf(err.before, sizeof err.before, "%s", before);
    err.what = what;
    std::snprintf(err.after, sizeof err.after, "%.*s%.*s%.*s", static_cast<int>(a1.size()), a1.data(),
                  static_cast<int>(a2.size()), a2.data(), static_cast<int>(a3.size()), a3.data());
    return false;
}

bool detail::add_valid(option_error& err, std::string_view valid) {
    if (valid.empty()) return false;
    std::size_t used = std::strlen(err.after);
    used += static_cast<std::size_t>(
        std::snprintf(err.after + used, sizeof err.after - used, "\nValid arguments are:"));
    for (std::size_t at = 0; at < valid.size() && used < sizeof err.after;) {
        const std::size_t end = valid.find('\0', at);
        const std::string_view v = valid.substr(at, end - at);
        used += static_cast<std::size_t>(std::snprintf(err.after + used, sizeof err.after - used,
                                                       "\n  - '%.*s'", static_cast<int>(v.size()), v.data()));
        at = end == std::string_view::npos ? valid.size() : end + 1;
    }
    return false;
}

void detail::add_possibility(option_error& err, std::string_view name) {
    const std::size_t used = std::strlen(err.after);
    std::snprintf(err.after + used, sizeof err.after - used, " '--%.*s'", static_cast<int>(name.size()),
                  name.data());
}
