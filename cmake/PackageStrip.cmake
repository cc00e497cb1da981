# Run by CPack on the package's staged files before it packs them (CPACK_PRE_BUILD_SCRIPTS):
# strips the programs and the plugin as Debian strips its own (dh_strip), of their symbols and of the
# sections .comment and .note, which hold only the names and versions of the compiler
# and tools that built them.
if(NOT CPACK_QUENLOR_STRIP)
  message(FATAL_ERROR "no strip program to strip the packaged programs with")
endif()
file(GLOB_RECURSE quenlor_staged_programs
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*"
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.so")
if(NOT quenlor_staged_programs)
  message(FATAL_ERROR "no programs staged under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS quenlor_staged_programs)
  execute_process(
      COMMAND ${CPACK_QUENLOR_STRIP} --remove-section=.comment --remove-section=.note ${program}
      RESULT_VARIABLE quenlor_strip_status)
  if(NOT quenlor_strip_status EQUAL 0)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
