# Run by CPack once the files of a package are staged: for the .deb only,
# the files Debian expects in the place of what the archives carry. The
# licence becomes a machine-readable copyright file, the man pages and the
# changelog are compressed, and a lintian override gives the reason for
# the statically linked programs.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
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

# A native package's changelog in Debian's format from CHANGELOG.md: each
# release's own entries, this one's dated at the release time, earlier ones
# at the midnight (UTC) of the date their heading names.
include(${CPACK_DIMTOOLS_SOURCE_DIR}/cmake/release-time.cmake)
file(READ "${CPACK_DIMTOOLS_SOURCE_DIR}/CHANGELOG.md" changes)
# Semicolons would cut the entries of a CMake list.
string(REPLACE ";" "<semicolon>" changes "${changes}")
string(REGEX MATCHALL "\n## [^\n]*(\n+(- |  )[^\n]*)*" releases "${changes}")
set(changelog "")
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
foreach(release IN LISTS releases)
    string(REGEX MATCH "^\n(## [^\n]*)" heading "${release}")
    set(heading "${CMAKE_MATCH_1}")
    string(REGEX MATCH "^## ([0-9.]+)" version "${heading}")
    set(version "${CMAKE_MATCH_1}")
    if(changelog)
        dimtools_date_time("${heading}" time)
        set(ENV{SOURCE_DATE_EPOCH} ${time})
    endif()
    string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
    if(changelog)
        string(APPEND changelog "\n")
    endif()
    string(APPEND changelog "dimtools (${version}) unstable; urgency=medium\n\n")
    string(REGEX MATCHALL "\n- [^\n]*(\n  [^\n]*)*" entries "${release}")
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE "^\n- " "  * " entry "${entry}")
        string(REGEX REPLACE "\n  " "\n    " entry "${entry}")
        string(REPLACE "<semicolon>" ";" entry "${entry}")
        string(APPEND changelog "${entry}\n")
    endforeach()
    string(APPEND changelog "\n -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
endforeach()
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
file(WRITE "${doc}/changelog" "${changelog}")
compress("${doc}/changelog")

file(MAKE_DIRECTORY "${root}/share/lintian/overrides")
file(WRITE "${root}/share/lintian/overrides/dimtools"
"# The programs are linked statically on purpose: a run then starts at the
# cost of an empty program, where loading the C++ runtime would cost some
# forty-five times as much, and they run hundreds of times in a build.
dimtools: statically-linked-binary [usr/bin/dimblank]
dimtools: statically-linked-binary [usr/bin/dimpatch]
dimtools: statically-linked-binary [usr/bin/hexburn]
")
