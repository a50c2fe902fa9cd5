// Windows clocks: the performance counter within a run, the system time
// for the time stamps.
#include <windows.h>

#include <cstdint>

#include "verify/platform.hpp"

double platform_seconds() {
    LARGE_INTEGER count{};
    LARGE_INTEGER rate{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&rate);
    return static_cast<double>(count.QuadPart) / static_cast<double>(rate.QuadPart);
}

double platform_utc_seconds() {
    FILETIME t{};
    GetSystemTimePreciseAsFileTime(&t);
    // 100 ns steps since 1601-01-01; 11644473600 s before 1970.
    const std::uint64_t steps = (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
    return static_cast<double>(steps) * 1e-7 - 11644473600.0;
}
