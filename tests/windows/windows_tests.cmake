# The Windows test build (included by tests/CMakeLists.txt): the test program
# stands beside trimvane.exe and finds it there, with the stand-in jpegtran,
# and the pictures cjpeg makes are compiled in. ctest runs the whole program
# once, through the emulator (Wine) on a non-Windows build machine.

# Each size any test asks plain_jpeg for.
set(TEST_PICTURE_SIZES 64x48,32x16)
find_program(CJPEG_PROGRAM cjpeg REQUIRED)
set(TEST_PICTURES ${CMAKE_CURRENT_BINARY_DIR}/test_pictures.cc)
add_custom_command(OUTPUT ${TEST_PICTURES}
  COMMAND ${CMAKE_COMMAND} -DCJPEG=${CJPEG_PROGRAM} -DSIZES=${TEST_PICTURE_SIZES}
          -DWORK=${CMAKE_CURRENT_BINARY_DIR}/pictures -DOUTPUT=${TEST_PICTURES}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/embed_pictures.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/embed_pictures.cmake VERBATIM)
target_sources(trimvane_tests PRIVATE ${TEST_PICTURES})

add_executable(fake_jpegtran ${CMAKE_CURRENT_SOURCE_DIR}/windows/fake_jpegtran.cc)
add_dependencies(trimvane_tests fake_jpegtran)
set_target_properties(trimvane_tests fake_jpegtran PROPERTIES
                      RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_compile_definitions(trimvane_tests PRIVATE
  TRIMVANE_BINARY="$<TARGET_FILE_NAME:trimvane>"
  TRIMVANE_FAKE_JPEGTRAN="$<TARGET_FILE_NAME:fake_jpegtran>")

add_test(NAME trimvane_tests COMMAND trimvane_tests)
set_tests_properties(trimvane_tests PROPERTIES TIMEOUT 900)
