# Cross build for Linux on 64-bit ARM.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ctrcheck_triplet aarch64-linux-gnu)
set(ctrcheck_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
