// POSIX clocks: the monotonic one for times within a run, the real-time one
// for the time stamps.
#include <ctime>

#include "verify/platform.hpp"

double platform_seconds() {
    timespec t{};
    // A clock that fails must not stop time for a wait that counts on it.
    if (clock_gettime(CLOCK_MONOTONIC, &t) != 0) return static_cast<double>(std::time(nullptr));
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double platform_utc_seconds() {
    timespec t{};
    if (clock_gettime(CLOCK_REALTIME, &t) != 0) return static_cast<double>(std::time(nullptr));
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
