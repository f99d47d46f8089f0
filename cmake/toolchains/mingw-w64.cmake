# What both Windows cross toolchains share: the mingw-w64 compilers of
# DIMTOOLS_MINGW_TRIPLET, POSIX thread model (GoogleTest needs std::mutex),
# and only that toolchain's libraries, headers and packages.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${DIMTOOLS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DIMTOOLS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DIMTOOLS_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DIMTOOLS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
