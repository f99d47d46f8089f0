# Cross-compiling the programs as 64-bit Windows console programs with
# mingw-w64, and running their tests under 64-bit Wine: the way to run the
# Windows suite on a host that starts no 32-bit process. The shipped
# programs are the 32-bit ones.
#
#   cmake --preset windows64   (or -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(DIMTOOLS_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian's wine64 package puts its loader beside the 32-bit one, off PATH;
# the wine script would pick the 32-bit loader wherever it is installed.
find_program(WINE64_PROGRAM NAMES wine64 PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_PROGRAM})
