# The Windows test build (included by tests/CMakeLists.txt): the test program
# stands beside trimvane.exe and finds it there, with the stand-in jpegtran;
# a real jpegtran.exe lies in a folder of its own, jpegtran/, found only by the
# runs that are given that folder. The pictures cjpeg makes, and the build
# machine's jpegtran turns of them, are compiled in. ctest runs each test on
# its own, through the emulator (Wine) on a non-Windows build machine.

# The real jpegtran.exe of the same architecture: scripts/build-jpegtran-windows.sh
# makes one from Debian's libjpeg-turbo source.
set(TRIMVANE_JPEGTRAN_EXE "" CACHE FILEPATH "jpegtran.exe for the Windows tests")
if(NOT EXISTS "${TRIMVANE_JPEGTRAN_EXE}")
  message(FATAL_ERROR "The Windows tests turn pictures with a real jpegtran.exe: build one "
                      "with scripts/build-jpegtran-windows.sh and give its win32/ (or, 64-bit, "
                      "win64/) jpegtran.exe as -DTRIMVANE_JPEGTRAN_EXE=<path>")
endif()
configure_file(${TRIMVANE_JPEGTRAN_EXE} ${PROJECT_BINARY_DIR}/jpegtran/jpegtran.exe COPYONLY)

# Each size any test asks plain_jpeg for.
set(TEST_PICTURE_SIZES 64x48,32x16)
find_program(CJPEG_PROGRAM cjpeg REQUIRED)
find_program(JPEGTRAN_PROGRAM jpegtran REQUIRED)
set(TEST_PICTURES ${CMAKE_CURRENT_BINARY_DIR}/test_pictures.cc)
add_custom_command(OUTPUT ${TEST_PICTURES}
  COMMAND ${CMAKE_COMMAND} -DCJPEG=${CJPEG_PROGRAM} -DJPEGTRAN=${JPEGTRAN_PROGRAM}
          -DSIZES=${TEST_PICTURE_SIZES} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/pictures
          -DOUTPUT=${TEST_PICTURES} -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/embed_pictures.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/embed_pictures.cmake VERBATIM)
# The program's manifest: the tests' own names are UTF-8 as well.
target_sources(trimvane_tests PRIVATE ${PROJECT_BINARY_DIR}/manifest.rc ${TEST_PICTURES}
               ${CMAKE_CURRENT_SOURCE_DIR}/windows/binary_output_win32.cc)

# GetFileVersionInfo, to read back what Explorer shows.
target_link_libraries(trimvane_tests PRIVATE version)

add_executable(fake_jpegtran ${CMAKE_CURRENT_SOURCE_DIR}/windows/fake_jpegtran.cc)
add_dependencies(trimvane_tests fake_jpegtran)
set_target_properties(trimvane_tests fake_jpegtran PROPERTIES
                      RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_compile_definitions(trimvane_tests PRIVATE
  TRIMVANE_BINARY="$<TARGET_FILE_NAME:trimvane>"
  TRIMVANE_FAKE_JPEGTRAN="$<TARGET_FILE_NAME:fake_jpegtran>"
  TRIMVANE_REAL_JPEGTRAN_FOLDER="jpegtran")

# Listed when ctest runs, not when the build does: a build machine that cannot
# start the emulator (a 32-bit Wine on a kernel without 32-bit programs) still builds.
include(GoogleTest)
gtest_discover_tests(trimvane_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                     PROPERTIES TIMEOUT 300)
