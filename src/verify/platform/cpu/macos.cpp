// The processor probe on macOS. The system turns the AVX-512 state on at a
// thread's first use of it, so the processor's own enable bits do not tell;
// the kernel's list does. Apple silicon has neither extension.
#include <sys/sysctl.h>

#include "verify/platform.hpp"

namespace {
bool sysctl_flag(const char* name) {
    int value = 0;
    std::size_t size = sizeof value;
    return sysctlbyname(name, &value, &size, nullptr, 0) == 0 && value != 0;
}
}  // namespace

bool platform_cpu_has_avx2() {
    return sysctl_flag("hw.optional.avx2_0");
}

bool platform_cpu_has_avx512bw() {
    return sysctl_flag("hw.optional.avx512f") && sysctl_flag("hw.optional.avx512bw");
}
