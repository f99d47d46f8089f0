# Run by CPack once the files of a package are staged: for the .deb and
# the .rpm, the files a distribution expects in the place of what the
# archives carry. Both compress the man pages. For the .deb the licence
# becomes a machine-readable copyright file, the changelog is compressed
# and a lintian override gives the reason for the statically linked
# programs; for the .rpm the licence goes where rpm-based systems keep
# licences, and the changelog into the package's header (cpack-project.cmake).
if(NOT CPACK_GENERATOR MATCHES "^(DEB|RPM)$")
    return()
endif()

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/${CPACK_DIMTOOLS_DOC_DIR}")

# gzip -9n: no name and no time stamp, so the package is reproducible.
function(compress path)
    execute_process(COMMAND gzip -9nf "${path}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "cannot compress ${path}")
    endif()
endfunction()

file(GLOB pages "${root}/${CPACK_DIMTOOLS_MAN_DIR}/man1/*.1")
foreach(page IN LISTS pages)
    compress("${page}")
endforeach()

if(CPACK_GENERATOR STREQUAL "RPM")
    file(MAKE_DIRECTORY "${root}/share/licenses/dimtools")
    file(RENAME "${doc}/LICENSE" "${root}/share/licenses/dimtools/LICENSE")
    return()
endif()

# The licence, indented as a field of the copyright file; an empty line of
# the text is written " .".
file(STRINGS "${doc}/LICENSE" lines)
set(licence "")
foreach(line IN LISTS lines)
    if(line STREQUAL "")
        string(APPEND licence " .\n")
    else()
        string(APPEND licence " ${line}\n")
    endif()
endforeach()
file(REMOVE "${doc}/LICENSE")
file(WRITE "${doc}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: dimtools

Files: *
Copyright: 2026 the dimtools developers
License: Expat
${licence}")

# A native package's changelog in Debian's format.
include(${CPACK_DIMTOOLS_SOURCE_DIR}/cmake/packaging/changelog.cmake)
dimtools_changelog("${CPACK_DIMTOOLS_SOURCE_DIR}/CHANGELOG.md" debian "${CPACK_PACKAGE_CONTACT}"
                   changelog)
file(WRITE "${doc}/changelog" "${changelog}")
compress("${doc}/changelog")

# The programs are linked statically on purpose; lintian takes a static
# position-independent program, which has a dynamic section but needs no
# library, for a shared library that lacks its own.
if(CPACK_DIMTOOLS_STATIC_LINK STREQUAL "-static-pie")
    set(tag shared-library-lacks-prerequisites)
else()
    set(tag statically-linked-binary)
endif()
file(MAKE_DIRECTORY "${root}/share/lintian/overrides")
file(WRITE "${root}/share/lintian/overrides/dimtools"
"# The programs are linked statically on purpose: a run then starts at the
# cost of an empty program, where loading the C++ runtime would cost some
# thirty times as much, and they run hundreds of times in a build.
")
foreach(program dimblank dimpatch hexburn)
    file(APPEND "${root}/share/lintian/overrides/dimtools"
         "dimtools: ${tag} [usr/bin/${program}]\n")
endforeach()
