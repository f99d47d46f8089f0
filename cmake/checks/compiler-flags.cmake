# The flags every target of the project's own code takes, through the
# interface library dimtools_options: the warnings, warnings as errors where
# asked, and the sanitizers.
add_library(dimtools_options INTERFACE)
if(MSVC)
    target_compile_options(dimtools_options INTERFACE /W4 /permissive- /utf-8
        $<$<BOOL:${DIMTOOLS_WERROR}>:/WX>)
    # The C and C++ runtimes linked statically, as with MinGW's -static.
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
    target_compile_options(dimtools_options INTERFACE
        -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
        $<$<BOOL:${DIMTOOLS_WERROR}>:-Werror>)
endif()
if(DIMTOOLS_SANITIZE)
    target_compile_options(dimtools_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(dimtools_options INTERFACE -fsanitize=address,undefined)
endif()

