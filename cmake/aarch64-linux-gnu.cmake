# Linux on arm64 with Debian's g++-aarch64-linux-gnu: the generic cross
# toolchain file for that triple, kept under this name for builds that
# name it.
set(DIMTOOLS_CROSS_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
