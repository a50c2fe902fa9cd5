# Cross build for Linux on 32-bit x86 (i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ctrcheck_triplet i686-linux-gnu)
set(ctrcheck_qemu qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
