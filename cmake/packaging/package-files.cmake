# Run by CPack once the files of a package are staged (after the Debian
# files are added): every package holds directories and programs of mode
# 0755 and other files of 0644, whatever the umask, each dated at the time
# of the release.
execute_process(COMMAND chmod -R u=rwX,go=rX "${CPACK_TEMPORARY_DIRECTORY}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot set the modes of the staged files")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" "${CPACK_TEMPORARY_DIRECTORY}"
                        ${staged} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot date the staged files")
endif()
