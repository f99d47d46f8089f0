# Cross-compiling for Linux with one of Debian's cross compilers
# (g++-<triple>), named by its GNU triple:
#
#   cmake -B build/armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-cross.cmake \
#         -DDIMTOOLS_CROSS_TRIPLE=arm-linux-gnueabihf
#
# The compilers are <triple>-gcc and <triple>-g++, the root of the target's
# headers and libraries /usr/<triple>. Where qemu-user for the processor is
# installed, the tests run through it (qemu-<cpu> -L /usr/<triple>, so that
# the dynamically linked test programs find their loader). The Debian
# architecture of the packages comes from dpkg-architecture.
if(NOT DIMTOOLS_CROSS_TRIPLE)
    message(FATAL_ERROR "name the target with -DDIMTOOLS_CROSS_TRIPLE=<GNU triple>, "
                        "such as arm-linux-gnueabihf")
endif()
# The checks CMake compiles while configuring read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DIMTOOLS_CROSS_TRIPLE)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${DIMTOOLS_CROSS_TRIPLE}")
set(DIMTOOLS_CROSS_ROOT /usr/${DIMTOOLS_CROSS_TRIPLE})

set(CMAKE_C_COMPILER ${DIMTOOLS_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DIMTOOLS_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH ${DIMTOOLS_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# qemu-user names a processor as the kernel does where GNU differs.
set(cpu ${CMAKE_SYSTEM_PROCESSOR})
if(cpu MATCHES "^i[3-6]86$")
    set(cpu i386)
elseif(cpu MATCHES "^arm")
    set(cpu arm)
elseif(cpu MATCHES "^powerpc")
    string(REPLACE "powerpc" "ppc" cpu ${cpu})
endif()
find_program(DIMTOOLS_QEMU_PROGRAM qemu-${cpu})
if(DIMTOOLS_QEMU_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${DIMTOOLS_QEMU_PROGRAM} -L ${DIMTOOLS_CROSS_ROOT})
endif()
