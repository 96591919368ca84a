# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged package tree after CPACK_STRIP_FILES:
# also removes the .comment and .note sections of the programs, which only name the
# compiler and serve no purpose at run time.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_QM_STRIP}" --remove-section=.comment --remove-section=.note
                          "${program}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
