# Read by CPack before each package is made (CPACK_PROJECT_CONFIG_FILE).

# One time for every file of the release, so that a package made anywhere,
# at any time, is the same bit for bit: SOURCE_DATE_EPOCH where the caller
# sets it, else the time the build was configured with (the last commit's,
# or the newest changelog entry's).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} "${CPACK_DIMTOOLS_SOURCE_DATE_EPOCH}")
endif()

if(CPACK_GENERATOR STREQUAL "DEB")
    # The C and C++ runtimes linked into the programs, by source package and
    # version, as Debian asks of a statically linked package.
    set(built_using "")
    foreach(file IN LISTS CPACK_DIMTOOLS_STATIC_RUNTIME)
        execute_process(COMMAND dpkg -S "${file}" OUTPUT_VARIABLE owner RESULT_VARIABLE status)
        string(REGEX MATCH "^[^:,]+" package "${owner}")
        if(status EQUAL 0)
            execute_process(
                COMMAND dpkg-query -W "-f=\${source:Package} (= \${source:Version})" ${package}
                OUTPUT_VARIABLE source RESULT_VARIABLE status)
        endif()
        if(NOT status EQUAL 0 OR NOT source MATCHES "^[^ ]+ \\(= [^)]+\\)$")
            message(FATAL_ERROR "no Debian source package found for ${file}")
        endif()
        list(APPEND built_using "${source}")
    endforeach()
    list(REMOVE_DUPLICATES built_using)
    list(JOIN built_using ", " built_using)
    # CPack writes neither field itself; they follow the section's line.
    string(APPEND CPACK_DEBIAN_PACKAGE_SECTION "\nMulti-Arch: foreign")
    if(built_using)
        string(APPEND CPACK_DEBIAN_PACKAGE_SECTION "\nBuilt-Using: ${built_using}")
    endif()
endif()

if(CPACK_GENERATOR STREQUAL "RPM")
    # The changelog in the package's header, as rpm -q --changelog shows it.
    include(${CPACK_DIMTOOLS_SOURCE_DIR}/cmake/packaging/changelog.cmake)
    dimtools_changelog("${CPACK_DIMTOOLS_SOURCE_DIR}/CHANGELOG.md" rpm "${CPACK_PACKAGE_CONTACT}"
                       changelog)
    set(CPACK_RPM_CHANGELOG_FILE "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/rpm-changelog")
    file(WRITE "${CPACK_RPM_CHANGELOG_FILE}" "${changelog}")
endif()
