# The Debian package (`cpack` in a build folder; scripts/package.sh): its
# control fields, and the documents Debian asks of every package, made from
# the project's own LICENSE and CHANGELOG. Included by CMakeLists.txt.

set(TRIMVANE_MAINTAINER "The Trimvane authors <trimvane@example.org>" CACHE STRING
    "The package's Maintainer field and changelog signature: Name <address>")

# usr/share/doc/trimvane/copyright, in Debian's machine-readable format; the
# licence text is LICENSE's, from its permission notice on.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX REPLACE "^.*\n(Permission is hereby granted)" "\\1" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REGEX REPLACE "\n" "\n " license "${license}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/doc/copyright CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: trimvane

Files: *
Copyright: 2026 the Trimvane authors
License: Expat
 ${license}
")

# usr/share/doc/trimvane/changelog.gz, a native package's changelog.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/CHANGELOG -DOUTPUT=${changelog}
          -DVERSION=${TRIMVANE_VERSION} -DMAINTAINER=${TRIMVANE_MAINTAINER} -DGZIP=${GZIP_PROGRAM}
          -P ${PROJECT_SOURCE_DIR}/cmake/debian-changelog.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG ${PROJECT_SOURCE_DIR}/cmake/debian-changelog.cmake
  VERBATIM)
add_custom_target(trimvane_changelog ALL DEPENDS ${changelog})
install(FILES ${PROJECT_BINARY_DIR}/doc/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trimvane)
set(CPACK_PACKAGE_VERSION "${TRIMVANE_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TRIMVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TRIMVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "strip the extra preview from EOS 300D/Kiss/Rebel Digital JPEG files")
set(CPACK_PACKAGE_DESCRIPTION
    "Walks a folder tree and, for each JPEG file of those cameras, turns the\n\
picture upright losslessly with jpegtran when its Exif Orientation says\n\
so, cuts off the useless third preview image, and replaces the file\n\
atomically, keeping its times and permissions.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Directories as Debian wants them, whatever the packager's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Stripped as dh_strip does it: no symbols, and neither the compiler's
# .comment nor the .note section (debian-strip.cmake runs on the staged files).
set(CPACK_STRIP_FILES OFF)
set(CPACK_TRIMVANE_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian-strip.cmake)
# jpegtran is started at run time, so no library link shows the need for it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjpeg-turbo-progs")
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
