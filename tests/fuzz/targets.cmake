# The fuzz targets and what each needs beyond its own <target>_fuzz.cc: built
# as libFuzzer programs by tests/fuzz/CMakeLists.txt (TRIMVANE_FUZZ) and as
# replays of their seed corpus by tests/CMakeLists.txt.
set(FUZZ_TARGETS preview_cut orientation pipeline)
set(FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

# add_fuzz_program(<executable> <target> [more sources...])
function(add_fuzz_program name target)
  add_executable(${name} ${FUZZ_DIR}/${target}_fuzz.cc ${ARGN})
  target_include_directories(${name} PRIVATE ${FUZZ_DIR}/..)
  target_link_libraries(${name} PRIVATE trimvane_core)
  if(target STREQUAL "pipeline")
    target_sources(${name} PRIVATE ${FUZZ_DIR}/memory_platform.cc
                                   ${FUZZ_DIR}/../support/fake_platform.cc)
  endif()
endfunction()
