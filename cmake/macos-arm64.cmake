# Cross build for macOS on Apple silicon: compiled and linked, not run.
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(ctrcheck_zig_target aarch64-macos)
include(${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake)
