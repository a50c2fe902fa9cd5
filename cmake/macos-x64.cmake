# Cross build for macOS on Intel processors: compiled and linked, not run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ctrcheck_zig_target x86_64-macos)
include(${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake)
