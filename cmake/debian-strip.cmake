# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the files staged for the package:
# strips the program as dh_strip does, leaving out the .comment and .note
# sections too.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
if(NOT programs)
  message(FATAL_ERROR "no program staged below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_TRIMVANE_STRIP} --remove-section=.comment
                          --remove-section=.note ${program}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip ${program} failed: ${status}")
  endif()
endforeach()
