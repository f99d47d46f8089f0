# The target's architecture as each package format names it, for a cross
# build (a native one leaves it to CPack, which asks the building machine).
# Found from the compiler's GNU triple, never from a list that a new target
# could be missing from.

# The GNU triple the C++ compiler builds for (arm-linux-gnueabihf).
function(dimtools_gnu_triple out)
    set(triple "${DIMTOOLS_CROSS_TRIPLE}")
    if(NOT triple)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
                        OUTPUT_VARIABLE triple OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    set(${out} "${triple}" PARENT_SCOPE)
endfunction()

# Debian's name (armhf, i386, ppc64el), from dpkg-architecture; where that
# tool is missing or knows no such triple, the processor's own name.
function(dimtools_debian_architecture out)
    dimtools_gnu_triple(triple)
    set(architecture "")
    find_program(DPKG_ARCHITECTURE_PROGRAM dpkg-architecture)
    if(DPKG_ARCHITECTURE_PROGRAM AND triple)
        execute_process(COMMAND ${DPKG_ARCHITECTURE_PROGRAM} -t ${triple} -qDEB_HOST_ARCH
                        OUTPUT_VARIABLE architecture OUTPUT_STRIP_TRAILING_WHITESPACE
                        ERROR_QUIET RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            set(architecture "")
        endif()
    endif()
    if(NOT architecture)
        set(architecture ${CMAKE_SYSTEM_PROCESSOR})
    endif()
    set(${out} ${architecture} PARENT_SCOPE)
endfunction()

# rpm's name: the processor's, as the kernel says it (ppc64le, i686), and
# armv7hl for 32-bit ARM with hard float (Debian's armhf is ARMv7).
function(dimtools_rpm_architecture out)
    dimtools_gnu_triple(triple)
    set(architecture ${CMAKE_SYSTEM_PROCESSOR})
    if(architecture MATCHES "^powerpc")
        string(REPLACE "powerpc" "ppc" architecture ${architecture})
    elseif(architecture MATCHES "^arm" AND triple MATCHES "hf$")
        set(architecture armv7hl)
    endif()
    set(${out} ${architecture} PARENT_SCOPE)
endfunction()
