# Kept where earlier releases had it; the toolchain lives in toolchains/.
include(${CMAKE_CURRENT_LIST_DIR}/toolchains/mingw-w64-x86_64.cmake)
