// The processor probe where the compiler's own one answers: Linux and the
// other ELF systems, and Windows. It also checks that the system saves the
// wide registers.
#include "verify/platform.hpp"

#if defined(__x86_64__)
bool platform_cpu_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

bool platform_cpu_has_avx512bw() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0;
}
#else
bool platform_cpu_has_avx2() {
    return false;
}

bool platform_cpu_has_avx512bw() {
    return false;
}
#endif
