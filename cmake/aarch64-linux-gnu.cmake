# Kept where earlier releases had it; the toolchain lives in toolchains/.
include(${CMAKE_CURRENT_LIST_DIR}/toolchains/aarch64-linux-gnu.cmake)
