# The time, in seconds since 1970 (UTC), of midnight at the start of the
# date in a changelog heading "## VERSION (YYYY-MM-DD)".
function(dimtools_date_time heading out)
    if(NOT heading MATCHES "^## [0-9.]+ \\(([0-9]+)-0*([0-9]+)-0*([0-9]+)\\)$")
        message(FATAL_ERROR "not a changelog heading \"## VERSION (YYYY-MM-DD)\": ${heading}")
    endif()
    # Days since 1970-01-01 of a date of the proleptic Gregorian calendar,
    # counted in eras of 400 years from a year that starts in March.
    set(year ${CMAKE_MATCH_1})
    set(month ${CMAKE_MATCH_2})
    set(day ${CMAKE_MATCH_3})
    if(month LESS_EQUAL 2)
        math(EXPR year "${year} - 1")
    endif()
    math(EXPR era "${year} / 400")
    math(EXPR year_of_era "${year} - ${era} * 400")
    math(EXPR day_of_year "(153 * ((${month} + 9) % 12) + 2) / 5 + ${day} - 1")
    math(EXPR day_of_era
         "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
    math(EXPR time "(${era} * 146097 + ${day_of_era} - 719468) * 86400")
    set(${out} ${time} PARENT_SCOPE)
endfunction()
