# Writes the version the banner shows into <build folder>/trimvane-version.txt,
# for scripts that name files after it (scripts/package-windows.sh). Given as
# -DCMAKE_PROJECT_INCLUDE=<this file>, it runs after project() and waits for
# the end of the top CMakeLists.txt, where the version is known.
function(trimvane_write_version)
  if(DEFINED TRIMVANE_VERSION)
    set(version "${TRIMVANE_VERSION}")
  else()
    set(version "${CPACK_PACKAGE_VERSION}")  # set "as the banner shows it"
  endif()
  if(version STREQUAL "")
    message(FATAL_ERROR "write-version.cmake: the top CMakeLists.txt names no version")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/trimvane-version.txt "${version}\n")
endfunction()
if(CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL trimvane_write_version)
endif()
