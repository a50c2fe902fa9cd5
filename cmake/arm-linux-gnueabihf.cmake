# Cross build for Linux on 32-bit ARM with hardware floating point (ARMv7; Debian's armhf assumes no NEON).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(ctrcheck_triplet arm-linux-gnueabihf)
set(ctrcheck_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
