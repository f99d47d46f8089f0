# Kept where earlier releases had it; the toolchain lives in toolchains/.
# It named arm64 alone.
if(NOT DIMTOOLS_CROSS_TRIPLE)
    set(DIMTOOLS_CROSS_TRIPLE aarch64-linux-gnu)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/toolchains/linux-cross.cmake)
