# Cross build for Linux on IBM Z, a big-endian 64-bit target.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(ctrcheck_triplet s390x-linux-gnu)
set(ctrcheck_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
