# TRIMVANE_BUILD_DATE, the date and time the banner shows, in UTC and in the
# form "Mmm dd yyyy hh:mm:ss" with the day padded by a blank. It is never the
# clock's, so that two builds of one source give the same program:
# - SOURCE_DATE_EPOCH when it is set (dpkg-buildpackage sets it from
#   debian/changelog);
# - otherwise the date of debian/changelog's latest entry, the release date;
# - otherwise 0, the start of 1970.
# Included by CMakeLists.txt; configuring again picks up a new changelog.

set(changelog ${PROJECT_SOURCE_DIR}/debian/changelog)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)

# days_from_civil(<out> <year> <month> <day>): days from 1970-01-01 to that
# day of the proleptic Gregorian calendar (years from 1 on).
function(days_from_civil out year month day)
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR shifted "${month} + 9")
  else()
    math(EXPR shifted "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR day_of_year "(153 * ${shifted} + 2) / 5 + ${day} - 1")
  math(EXPR day_of_era
       "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
  set(${out} ${days} PARENT_SCOPE)
endfunction()

# number(<out> <text>): a field of digits as a number ("08" is 8).
function(number out text)
  string(REGEX REPLACE "^0+([0-9])" "\\1" text "${text}")
  set(${out} ${text} PARENT_SCOPE)
endfunction()

# changelog_epoch(<out> <file>): the seconds since 1970 of the file's first
# trailer line, " -- Name <address>  Tue, 08 Dec 2026 02:13:23 +0000".
function(changelog_epoch out file)
  file(STRINGS ${file} trailer REGEX "^ -- " LIMIT_COUNT 1)
  if(NOT trailer MATCHES "  [A-Z][a-z][a-z], +([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) \
([0-9]+):([0-9]+):([0-9]+) ([-+])([0-9][0-9])([0-9][0-9])$")
    message(FATAL_ERROR "${file}: no date in its first trailer line: '${trailer}'")
  endif()
  # Taken first: every later regular expression sets CMAKE_MATCH_ anew.
  set(fields day month_name year hour minute second sign zone_hours zone_minutes)
  set(index 1)
  foreach(name IN LISTS fields)
    set(${name} "${CMAKE_MATCH_${index}}")
    math(EXPR index "${index} + 1")
  endforeach()
  foreach(name day hour minute second zone_hours zone_minutes)
    number(${name} "${${name}}")
  endforeach()
  list(FIND months ${month_name} month)
  if(month EQUAL -1)
    message(FATAL_ERROR "${file}: no month in its first trailer line: '${trailer}'")
  endif()
  math(EXPR month "${month} + 1")
  days_from_civil(days ${year} ${month} ${day})
  math(EXPR local "${days} * 86400 + ${hour} * 3600 + ${minute} * 60 + ${second}")
  # A zone ahead of UTC (+hhmm) shows a later local time.
  math(EXPR offset "${zone_hours} * 3600 + ${zone_minutes} * 60")
  if(sign STREQUAL "+")
    math(EXPR epoch "${local} - ${offset}")
  else()
    math(EXPR epoch "${local} + ${offset}")
  endif()
  set(${out} ${epoch} PARENT_SCOPE)
endfunction()

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: ${epoch}")
  endif()
elseif(EXISTS ${changelog})
  changelog_epoch(epoch ${changelog})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
else()
  set(epoch 0)
endif()

# string(TIMESTAMP) reads SOURCE_DATE_EPOCH in place of the clock; it is set
# for that one call and put back as it was.
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP stamp "%m %d %Y %H:%M:%S" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
if(saved_epoch STREQUAL "")
  unset(ENV{SOURCE_DATE_EPOCH})
endif()

# Month names in English whatever the locale; the day padded by a blank.
string(REGEX MATCH "^([0-9][0-9]) ([0-9][0-9]) (.*)$" stamp "${stamp}")
set(day "${CMAKE_MATCH_2}")
set(rest "${CMAKE_MATCH_3}")
number(month_number "${CMAKE_MATCH_1}")
math(EXPR month_index "${month_number} - 1")
list(GET months ${month_index} month_name)
string(REGEX REPLACE "^0" " " day "${day}")
set(TRIMVANE_BUILD_DATE "${month_name} ${day} ${rest}")
message(STATUS "Build date: ${TRIMVANE_BUILD_DATE}")
