# What an install puts beside the programs (manual pages, documents, the
# CMake package) and how CPack makes the packages of it: the .tar.gz, .deb
# and .rpm on Linux, the .zip on Windows, each rebuilt bit for bit.
include(${CMAKE_CURRENT_LIST_DIR}/release-time.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/architecture.cmake)

# One time for the release, given to every file the packages hold:
# SOURCE_DATE_EPOCH where it is set, else the last commit's time in a git
# checkout, else midnight (UTC) of the newest changelog entry's date.
function(dimtools_release_time out)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        set(${out} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
        return()
    endif()
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE top
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE time
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        file(REAL_PATH "${PROJECT_SOURCE_DIR}" source)
        if(top AND time MATCHES "^[0-9]+$")
            file(REAL_PATH "${top}" top)
            if(top STREQUAL source)
                set(${out} "${time}" PARENT_SCOPE)
                return()
            endif()
        endif()
    endif()
    file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md heading REGEX "^## " LIMIT_COUNT 1)
    dimtools_date_time("${heading}" time)
    set(${out} "${time}" PARENT_SCOPE)
endfunction()
dimtools_release_time(DIMTOOLS_RELEASE_TIME)

set(DIMTOOLS_MANUALS man/dimblank.1 man/hexburn.1 man/dimpatch.1)
# The notices of the runtime each toolchain links in.
if(MSVC)
    set(DIMTOOLS_NOTICES notices/windows-msvc.txt)
elseif(WIN32)
    set(DIMTOOLS_NOTICES notices/windows.txt)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
    set(DIMTOOLS_NOTICES notices/macos.txt)
else()
    set(DIMTOOLS_NOTICES notices/linux.txt)
endif()
if(WIN32)
    # Beside the programs' folder, what a Windows user opens: text files with
    # Windows' line ends (CR LF), the manual pages among them, rendered from
    # the man pages, and a README written for Windows.
    foreach(pair "cmake/packaging/windows-readme.txt;README.txt" "docs/outputs.md;outputs.txt"
                 "LICENSE;LICENSE.txt" "CHANGELOG.md;CHANGELOG.txt" "${DIMTOOLS_NOTICES};NOTICES.txt")
        list(GET pair 0 source)
        list(GET pair 1 name)
        file(READ ${PROJECT_SOURCE_DIR}/${source} text)
        string(REPLACE "\n" "\r\n" text "${text}")
        file(WRITE ${PROJECT_BINARY_DIR}/windows-texts/${name} "${text}")
        install(FILES ${PROJECT_BINARY_DIR}/windows-texts/${name} DESTINATION .)
    endforeach()
    find_program(GROFF_PROGRAM groff)
    if(GROFF_PROGRAM)
        set(texts "")
        foreach(page IN LISTS DIMTOOLS_MANUALS)
            get_filename_component(name ${page} NAME_WE)
            set(text ${PROJECT_BINARY_DIR}/manuals/${name}.txt)
            add_custom_command(OUTPUT ${text}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/manuals
                COMMAND ${GROFF_PROGRAM} -man -rHY=0 -Tutf8 -P-cbou ${PROJECT_SOURCE_DIR}/${page}
                        > ${text}
                DEPENDS ${page} VERBATIM)
            list(APPEND texts ${text})
        endforeach()
        add_custom_target(manuals ALL DEPENDS ${texts})
        install(FILES ${texts} DESTINATION .)
    else()
        message(STATUS "groff not found: the manual pages are not rendered as text")
    endif()
else()
    install(FILES ${DIMTOOLS_MANUALS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES README.md docs/outputs.md LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(FILES ${DIMTOOLS_NOTICES} DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME NOTICES)
endif()

# The CMake package: find_package(dimtools) defines the programs as the
# imported executables dimtools::dimblank, dimtools::hexburn and
# dimtools::dimpatch, with paths relative to wherever the package lies.
include(CMakePackageConfigHelpers)
set(DIMTOOLS_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dimtools)
install(EXPORT dimtoolsTargets NAMESPACE dimtools:: FILE dimtoolsConfig.cmake
        DESTINATION ${DIMTOOLS_PACKAGE_DIR})
# Programs, not libraries: a 32-bit project may use 64-bit tools.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/dimtoolsConfigVersion.cmake
    COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/dimtoolsConfigVersion.cmake
        DESTINATION ${DIMTOOLS_PACKAGE_DIR})

set(CPACK_PACKAGE_NAME dimtools)
set(CPACK_PACKAGE_VENDOR "the dimtools developers")
set(CPACK_PACKAGE_CONTACT "dimtools developers <dimtools@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk and ROM image tools for a 16-bit target machine")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DIMTOOLS_SOURCE_DATE_EPOCH ${DIMTOOLS_RELEASE_TIME})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-project.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-files.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-archives.cmake)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win32)
else()
    set(CPACK_GENERATOR TGZ DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    # A cross build names its processor (dimtools-VERSION-Linux-aarch64.tar.gz;
    # 32-bit ARM by its Debian architecture, armhf or armel, as "arm" alone
    # does not tell the two apart) and takes the Debian architecture from
    # dpkg-architecture for the compiler's GNU triple, else the processor's
    # own name: CPack would otherwise take the building machine's.
    if(CMAKE_CROSSCOMPILING)
        dimtools_debian_architecture(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
        set(archive_processor ${CMAKE_SYSTEM_PROCESSOR})
        if(archive_processor MATCHES "^arm" AND NOT archive_processor MATCHES "^arm64")
            set(archive_processor ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
        endif()
        set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${archive_processor})
    endif()
    set(CPACK_DEBIAN_PACKAGE_SECTION devel)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # After the summary as its synopsis, wrapped as Debian expects.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[Three small command-line programs that prepare media images for a target
machine with a 16-bit address space, made to be called from Makefiles and
scripts: they print nothing and report through their exit status.
.
dimblank writes an empty 720 KB disk image, dimpatch copies a run of bytes
from any file into a disk image at a sector, and hexburn turns an Intel HEX
file into a 32 KB ROM image of addresses 0x4000 to 0xBFFF.]=])
    if(NOT DIMTOOLS_STATIC)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    endif()
    # What Debian and rpm-based systems want in a package and an archive
    # does not: compressed man pages, the licence and changelog where each
    # keeps them, the reason for the static link.
    list(PREPEND CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/distribution-files.cmake)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # The runtime archives linked into the programs, by path; their Debian
    # source packages are named in the .deb.
    if(DIMTOOLS_STATIC AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
        foreach(archive libc.a libstdc++.a libgcc.a libgcc_eh.a)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${archive}
                            OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(IS_ABSOLUTE "${path}")
                file(REAL_PATH "${path}" path)
                list(APPEND CPACK_DIMTOOLS_STATIC_RUNTIME ${path})
            endif()
        endforeach()
    endif()
    set(CPACK_DIMTOOLS_SOURCE_DIR ${PROJECT_SOURCE_DIR})
    set(CPACK_DIMTOOLS_STATIC_LINK ${DIMTOOLS_STATIC_LINK})
    set(CPACK_DIMTOOLS_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
    set(CPACK_DIMTOOLS_MAN_DIR ${CMAKE_INSTALL_MANDIR})
    find_program(RPMBUILD_PROGRAM rpmbuild)
    if(RPMBUILD_PROGRAM)
        include(${CMAKE_CURRENT_LIST_DIR}/rpm-package.cmake)
    else()
        message(STATUS "rpmbuild not found: no .rpm is made (the .deb and the .tar.gz are)")
    endif()
endif()
include(CPack)
