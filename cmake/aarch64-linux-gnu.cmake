# Cross-compiling the programs for Linux on arm64 with Debian's cross
# compiler (g++-aarch64-linux-gnu), and running their tests under
# qemu-aarch64 (qemu-user), which finds the cross C library's loader and
# libraries for the test programs under /usr/aarch64-linux-gnu.
#
#   cmake --preset linux-arm64   (or -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(DIMTOOLS_CROSS_ROOT /usr/aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH ${DIMTOOLS_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(QEMU_AARCH64_PROGRAM qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64_PROGRAM} -L ${DIMTOOLS_CROSS_ROOT})
