# Cross-compiling the 32-bit Windows console programs with mingw-w64, and
# running their tests under Wine.
#
#   cmake --preset windows   (or -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DIMTOOLS_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

find_program(WINE_PROGRAM NAMES wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
