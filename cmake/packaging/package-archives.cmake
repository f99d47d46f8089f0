# Run by CPack once a package is made. The archive generators of CPack
# list members in the order the file system gives and record the building
# user as their owner; the .tar.gz and the .zip are made again from the
# staged files, in sorted order and owned by root, and the .deb's members
# get modes that do not depend on the umask, so that anyone can rebuild
# them bit for bit. Beside each package goes its SHA-256 sum, in
# the format `sha256sum -c` reads.
set(top "${CPACK_TOPLEVEL_DIRECTORY}")
set(name "${CPACK_PACKAGE_FILE_NAME}")

foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(package MATCHES "\\.tar\\.gz$")
        file(REMOVE "${package}")
        execute_process(
            COMMAND tar --sort=name --owner=0 --group=0 --numeric-owner --format=gnu
                    "--mtime=@$ENV{SOURCE_DATE_EPOCH}" -C "${top}" -cf - "${name}"
            COMMAND gzip -9n
            OUTPUT_FILE "${package}" RESULTS_VARIABLE statuses)
        if(NOT statuses STREQUAL "0;0")
            message(FATAL_ERROR "cannot make ${package}")
        endif()
    elseif(package MATCHES "\\.zip$")
        # Info-ZIP without its extra fields (owner, times in UTC), dated in
        # UTC, from a sorted list; no entries of their own for directories.
        find_program(ZIP_PROGRAM zip)
        if(NOT ZIP_PROGRAM)
            message(FATAL_ERROR "the .zip is made with Info-ZIP's zip: install it (Debian: zip)")
        endif()
        file(GLOB_RECURSE members LIST_DIRECTORIES false RELATIVE "${top}" "${top}/${name}/*")
        list(SORT members)
        list(JOIN members "\n" listing)
        file(WRITE "${top}/members.txt" "${listing}\n")
        file(REMOVE "${package}")
        execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP_PROGRAM} -X -D -9 -q
                                "${package}" -@
                        WORKING_DIRECTORY "${top}" INPUT_FILE "${top}/members.txt"
                        RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "cannot make ${package}")
        endif()
    elseif(package MATCHES "\\.deb$")
        # The ar members CPack writes carry the umask in their modes: each
        # member header's mode field (8 bytes, 40 bytes in) becomes 100644.
        file(WRITE "${top}/member-mode" "100644  ")
        set(header 8)  # after "!<arch>\n"
        file(SIZE "${package}" end)
        while(header LESS end)
            file(READ "${package}" fields OFFSET ${header} LIMIT 60)
            string(SUBSTRING "${fields}" 48 10 size)
            string(STRIP "${size}" size)
            math(EXPR seek "${header} + 40")
            execute_process(COMMAND dd "of=${package}" bs=1 seek=${seek} count=8 conv=notrunc
                            status=none INPUT_FILE "${top}/member-mode" RESULT_VARIABLE status)
            if(NOT status EQUAL 0 OR NOT size MATCHES "^[0-9]+$")
                message(FATAL_ERROR "cannot set the member modes of ${package}")
            endif()
            math(EXPR header "${header} + 60 + ${size} + ${size} % 2")
        endwhile()
    endif()
    file(SHA256 "${package}" sum)
    get_filename_component(file_name "${package}" NAME)
    file(WRITE "${CPACK_PACKAGE_DIRECTORY}/${file_name}.sha256" "${sum}  ${file_name}\n")
endforeach()
