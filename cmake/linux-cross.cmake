# Shared part of the Linux cross builds: the including file sets
# CMAKE_SYSTEM_PROCESSOR, ctrcheck_triplet (the GNU triplet of Debian's cross
# compiler) and ctrcheck_qemu (qemu's user-mode emulator for the target).
# Tests run under that emulator with the target's C library from
# /usr/<triplet>, so binfmt_misc is not needed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ctrcheck_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${ctrcheck_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${ctrcheck_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ctrcheck_qemu} -L /usr/${ctrcheck_triplet})
