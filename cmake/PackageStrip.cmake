# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged files, after CPACK_STRIP_FILES: takes
# the compilers' version notes (.comment) out of the programs as well, as Debian's own
# packaging tools do.
file(GLOB_RECURSE staged LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*" "${CPACK_TEMPORARY_DIRECTORY}/usr/libexec/*")
foreach(program IN LISTS staged)
  execute_process(COMMAND "${CPACK_OBJCOPY_PROGRAM}" --remove-section=.comment "${program}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "objcopy could not clean ${program}")
  endif()
endforeach()
