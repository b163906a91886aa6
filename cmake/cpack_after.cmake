# Run by cpack after it makes each package (CPACK_POST_BUILD_SCRIPTS), before it copies the
# package to its folder. A zip member keeps the owner of the staged file, so the zip would depend
# on who built it; strip-nondeterminism sets owners as a Debian build does, and the members'
# times to the build's SOURCE_DATE_EPOCH (cmake/cpack_time.cmake).
if(CPACK_GENERATOR STREQUAL "ZIP")
  execute_process(COMMAND strip-nondeterminism --type zip --timestamp $ENV{SOURCE_DATE_EPOCH}
    ${CPACK_PACKAGE_FILES} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip-nondeterminism failed (${failed}) on ${CPACK_PACKAGE_FILES}")
  endif()
endif()
