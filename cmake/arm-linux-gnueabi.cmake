# Cross build for Linux on 32-bit ARM from ARMv5TE up (Debian's armel: ARMv5TE
# code, floating point in software). Linked statically, as released, the one
# binary runs on ARMv5TE, ARMv6 (Raspberry Pi 1 and Zero) and ARMv7 boards,
# under an armel or an armhf system alike: no library is shared, so the
# system's float ABI does not matter.
set(CMAKE_SYSTEM_PROCESSOR armv5tel)
set(ctrcheck_triplet arm-linux-gnueabi)
set(ctrcheck_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
