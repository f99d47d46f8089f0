# The flags every target of the project's own code takes, through the
# interface library dimtools_options: the warnings, warnings as errors where
# asked, the sanitizers, and the hardening that careful distributions give
# their programs. Each hardening flag is checked for at configure time: a
# compiler, linker or C library that lacks it drops it with a STATUS line.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)

add_library(dimtools_options INTERFACE)
if(MSVC)
    target_compile_options(dimtools_options INTERFACE /W4 /permissive- /utf-8
        $<$<BOOL:${DIMTOOLS_WERROR}>:/WX>)
    # The C and C++ runtimes linked statically, as with MinGW's -static.
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    return()
endif()

target_compile_options(dimtools_options INTERFACE
    -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Wformat=2
    -Werror=format-security $<$<BOOL:${DIMTOOLS_WERROR}>:-Werror>)
if(DIMTOOLS_SANITIZE)
    target_compile_options(dimtools_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(dimtools_options INTERFACE -fsanitize=address,undefined)
endif()

set(DIMTOOLS_STATIC_LINK -static)
if(NOT DIMTOOLS_HARDEN)
    return()
endif()

# Position-independent code, so that the system loads the programs at a
# random address: linked -static-pie where they are static and the toolchain
# and C library can (glibc's rcrt1.o), else with the plain static link, at a
# fixed address. (A dynamic link is PIE as the compiler makes it by default.)
if(NOT WIN32 AND NOT APPLE)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    set(CMAKE_REQUIRED_FLAGS -fPIE)
    set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
    check_cxx_source_compiles("int main() { return 0; }" DIMTOOLS_CHECK_STATIC_PIE)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(DIMTOOLS_CHECK_STATIC_PIE)
        set(DIMTOOLS_STATIC_LINK -static-pie)
    elseif(DIMTOOLS_STATIC)
        message(STATUS "hardening: no -static-pie here; the programs are linked -static, at a fixed address")
    endif()
endif()

# A compile flag, or a compile and link flag, where the compiler takes it.
function(dimtools_harden_compile flag)
    string(MAKE_C_IDENTIFIER "DIMTOOLS_CHECK_FLAG${flag}" found)
    check_cxx_compiler_flag("${flag}" ${found})
    if(${found})
        target_compile_options(dimtools_options INTERFACE ${flag})
        if(ARGV1 STREQUAL "LINK")
            target_link_options(dimtools_options INTERFACE ${flag})
        endif()
    else()
        message(STATUS "hardening: ${flag} not taken by this compiler, left out")
    endif()
endfunction()

# The stack protector is also a link flag: mingw-w64 then links its
# runtime (libssp) in.
dimtools_harden_compile(-fstack-protector-strong LINK)
# Stack-clash protection probes every page of a large frame; the check
# compiles such a frame, on which mingw-w64's x86-64 GCC 12 crashes (its
# programs probe large frames through __chkstk in any case). This check and
# the _FORTIFY_SOURCE one take -Werror: clang only warns of a flag it
# ignores (-fstack-clash-protection for arm64 macOS).
set(CMAKE_REQUIRED_FLAGS "-O2 -Werror -fstack-clash-protection")
check_cxx_source_compiles([=[
    #include <array>
    #include <cstddef>
    __attribute__((noinline)) bool filled(char* block, std::size_t size) {
        return block[size - 1] == 0;
    }
    int main(int argc, char**) {
        std::array<char, 65536> block;
        if (!filled(block.data(), block.size())) return 1;
        return block[static_cast<std::size_t>(argc)];
    }]=] DIMTOOLS_CHECK_STACK_CLASH)
unset(CMAKE_REQUIRED_FLAGS)
if(DIMTOOLS_CHECK_STACK_CLASH)
    target_compile_options(dimtools_options INTERFACE -fstack-clash-protection)
else()
    message(STATUS "hardening: -fstack-clash-protection not taken by this compiler, left out")
endif()
# Control-flow protection marks: x86's (CET) or arm64's (PAC and BTI), the
# first one this compiler takes.
foreach(flag IN ITEMS -fcf-protection=full -mbranch-protection=standard)
    string(MAKE_C_IDENTIFIER "DIMTOOLS_CHECK_FLAG${flag}" found)
    check_cxx_compiler_flag("${flag}" ${found})
    if(${found})
        target_compile_options(dimtools_options INTERFACE ${flag})
        break()
    endif()
endforeach()
if(NOT found)
    message(STATUS "hardening: no control-flow protection flag for this processor, left out")
endif()
# Locals start zeroed rather than holding what the stack held; the one
# large read block is exempted in its declaration.
dimtools_harden_compile(-ftrivial-auto-var-init=zero)

# Checked buffer calls of the C library in optimised builds: level 3 where
# the compiler and C library give it, else 2. glibc lowers the level it is
# asked for silently, so the level in effect is what is checked.
function(dimtools_fortify_check level out)
    set(CMAKE_REQUIRED_FLAGS "-O2 -Werror -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=${level}")
    if(DIMTOOLS_CHECK_FLAG_fstack_protector_strong)
        set(CMAKE_REQUIRED_LINK_OPTIONS -fstack-protector-strong)
    endif()
    string(CONFIGURE [=[
        #include <cstring>
        #if defined(__USE_FORTIFY_LEVEL) && __USE_FORTIFY_LEVEL < @level@
        #error "a lower level is in effect"
        #endif
        int main(int argc, char** argv) {
            char copy[16];
            std::strncpy(copy, argv[0], sizeof copy);
            return copy[0] + argc;
        }]=] source @ONLY)
    check_cxx_source_compiles("${source}" ${out})
endfunction()
dimtools_fortify_check(3 DIMTOOLS_CHECK_FORTIFY_3)
if(DIMTOOLS_CHECK_FORTIFY_3)
    set(fortify 3)
else()
    dimtools_fortify_check(2 DIMTOOLS_CHECK_FORTIFY_2)
    if(DIMTOOLS_CHECK_FORTIFY_2)
        set(fortify 2)
        message(STATUS "hardening: _FORTIFY_SOURCE=3 not in effect here, 2 is")
    else()
        message(STATUS "hardening: _FORTIFY_SOURCE not in effect here, left out")
    endif()
endif()
if(fortify)
    target_compile_options(dimtools_options INTERFACE
        "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=${fortify}>")
endif()

# Bounds and precondition checks of the C++ library: libstdc++'s.
check_cxx_source_compiles([=[
    #include <array>
    #ifndef __GLIBCXX__
    #error "not libstdc++"
    #endif
    int main() { return 0; }]=] DIMTOOLS_CHECK_LIBSTDCXX)
if(DIMTOOLS_CHECK_LIBSTDCXX)
    target_compile_definitions(dimtools_options INTERFACE _GLIBCXX_ASSERTIONS)
else()
    message(STATUS "hardening: not libstdc++, so no _GLIBCXX_ASSERTIONS")
endif()

# What the linker marks: ELF's read-only relocations resolved at start and
# no executable stack; PE's random base, no-execute data, and a 64-bit
# address space for the random base.
if(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    set(link_flags LINKER:-z,relro LINKER:-z,now LINKER:-z,noexecstack)
elseif(WIN32)
    set(link_flags LINKER:--dynamicbase LINKER:--nxcompat)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        list(APPEND link_flags LINKER:--high-entropy-va)
    endif()
endif()
foreach(flag IN LISTS link_flags)
    string(MAKE_C_IDENTIFIER "DIMTOOLS_CHECK_LINK${flag}" found)
    check_linker_flag(CXX "${flag}" ${found})
    if(${found})
        target_link_options(dimtools_options INTERFACE ${flag})
    else()
        message(STATUS "hardening: the linker takes no ${flag}, left out")
    endif()
endforeach()
