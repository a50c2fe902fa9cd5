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

void detail::add_possibility(option_error& err, std::string_view name) {
    const std::size_t used = std::strlen(err.after);
    std::snprintf(err.after + used, sizeof err.after - used, " '--%.*s'", static_cast<int>(name.size()),
                  name.data());
}
