# Writes the Debian changelog of this native package from the project's
# CHANGELOG (see the comment at its top), compressed as Debian ships it.
# cmake -DSOURCE=<CHANGELOG> -DOUTPUT=<changelog.gz> -DVERSION=<version>
#       -DMAINTAINER=<Name <address>> -DGZIP=<gzip> -P debian-changelog.cmake
# The current entry is dated by SOURCE_DATE_EPOCH when it is set.
foreach(name SOURCE OUTPUT VERSION MAINTAINER GZIP)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "debian-changelog.cmake needs -D${name}=...")
  endif()
endforeach()

string(TIMESTAMP now "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(STRINGS ${SOURCE} lines)
set(text "")
set(open_entry "")  # the trailer line the entry being written still needs
foreach(line IN LISTS lines)
  if(line MATCHES "^#")
    continue()
  endif()
  string(REPLACE "@TRIMVANE_VERSION@" "${VERSION}" line "${line}")
  if(line MATCHES "^Version ([^ ,]+)(, (.+))?$")
    set(version ${CMAKE_MATCH_1})
    set(date "${CMAKE_MATCH_3}")
    if(open_entry STREQUAL "")
      if(NOT version STREQUAL VERSION)
        message(FATAL_ERROR "${SOURCE}: the first entry is ${version}, not ${VERSION}")
      endif()
      set(date "${now}")
    else()
      string(APPEND text "\n${open_entry}\n\n")
    endif()
    if(date STREQUAL "")
      message(FATAL_ERROR "${SOURCE}: the entry for ${version} has no date")
    endif()
    string(APPEND text "trimvane (${version}) unstable; urgency=medium\n\n")
    set(open_entry " -- ${MAINTAINER}  ${date}")
  elseif(NOT open_entry STREQUAL "" AND NOT line STREQUAL "")
    string(APPEND text "${line}\n")
  endif()
endforeach()
if(open_entry STREQUAL "")
  message(FATAL_ERROR "${SOURCE} holds no entry")
endif()
string(APPEND text "\n${open_entry}\n")

get_filename_component(plain ${OUTPUT} NAME_WLE)
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(WRITE ${folder}/${plain} "${text}")
# -n: no name and no time stamp inside, so that builds are reproducible.
execute_process(COMMAND ${GZIP} -9 -n -c ${folder}/${plain} OUTPUT_FILE ${OUTPUT}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed: ${status}")
endif()
