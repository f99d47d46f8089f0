# Cross-compiling the 32-bit Windows console programs with mingw-w64, and
# running their tests under Wine. The POSIX thread model of the compiler is
# used, as GoogleTest needs std::mutex.
#
#   cmake --preset windows   (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(WINE_PROGRAM NAMES wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
