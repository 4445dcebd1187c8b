# The banner's build date as cmake/build-date.cmake works it out: from
# SOURCE_DATE_EPOCH, else from debian/changelog's latest entry in UTC, else
# the start of 1970; never the clock.
# cmake -DSCRIPT=<cmake/build-date.cmake> -DWORK=<scratch folder> -P build_date_test.cmake

set(failures 0)

# expect(<date wanted or FAIL> <changelog date or NONE> <SOURCE_DATE_EPOCH or NONE>)
function(expect want changelog_date epoch)
  file(REMOVE_RECURSE ${WORK})
  if(NOT changelog_date STREQUAL NONE)
    file(WRITE ${WORK}/debian/changelog
         "trimvane (1.02c) unstable; urgency=medium\n\n  * Newer.\n\n"
         " -- Someone <someone@example.org>  ${changelog_date}\n\n"
         "trimvane (1.02b) unstable; urgency=medium\n\n  * Older.\n\n"
         " -- Someone <someone@example.org>  Mon, 01 Jan 2001 00:00:00 +0000\n")
  else()
    file(MAKE_DIRECTORY ${WORK})
  endif()
  if(epoch STREQUAL NONE)
    set(environment --unset=SOURCE_DATE_EPOCH)
  else()
    set(environment SOURCE_DATE_EPOCH=${epoch})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${environment}
                          ${CMAKE_COMMAND} -DPROJECT_SOURCE_DIR=${WORK} -P ${SCRIPT}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  set(case "changelog '${changelog_date}', SOURCE_DATE_EPOCH '${epoch}'")
  if(want STREQUAL FAIL)
    if(status EQUAL 0)
      message(SEND_ERROR "${case}: accepted, giving ${out}")
    endif()
  elseif(NOT status EQUAL 0 OR NOT out MATCHES "-- Build date: ${want}\n")
    message(SEND_ERROR "${case}: wanted '${want}', got ${out}${err}")
  endif()
endfunction()

# The day is padded by a blank, as the banner shows it.
expect("Dec  8 2026 02:13:23" "Tue, 08 Dec 2026 02:13:23 +0000" NONE)
# The zone is taken away: across a year's end and a month's end of a year
# without a leap day.
expect("Jan  1 2026 01:00:00" "Wed, 31 Dec 2025 23:30:00 -0130" NONE)
expect("Feb 28 2027 23:00:00" "Mon, 01 Mar 2027 01:00:00 +0200" NONE)
expect("Feb 29 2024 12:00:00" "Thu, 29 Feb 2024 12:00:00 +0000" NONE)
# SOURCE_DATE_EPOCH comes first; without either, the start of 1970.
expect("Dec  6 2025 05:46:40" "Tue, 08 Dec 2026 02:13:23 +0000" 1765000000)
expect("Jan  1 1970 00:00:00" NONE NONE)
expect(FAIL NONE yesterday)
expect(FAIL "someday" NONE)
file(REMOVE_RECURSE ${WORK})
