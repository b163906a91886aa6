# Run by cpack after it makes each package (CPACK_POST_BUILD_SCRIPTS), before it copies the
# package to its folder. Two things in them would depend on who built them, and cpack offers no
# setting for either; strip-nondeterminism sets them as a Debian build does, with the members'
# times at the build's SOURCE_DATE_EPOCH (cmake/cpack_time.cmake):
# - a zip member keeps the owner of the staged file: owners 0, and members in order of name;
# - the .deb's own members (debian-binary, control.tar.gz, data.tar.gz) keep the modes that the
#   builder's umask gave the files (0664 under 0002): 0644. What they hold has the install's
#   modes (CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS, cmake/package.cmake).
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(type --type zip)
elseif(CPACK_GENERATOR STREQUAL "DEB")
  set(type --normalizers +ar --type ar)  # a handler that is off unless asked for
else()
  return()
endif()
execute_process(COMMAND strip-nondeterminism ${type} --timestamp $ENV{SOURCE_DATE_EPOCH}
  ${CPACK_PACKAGE_FILES} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "strip-nondeterminism failed (${failed}) on ${CPACK_PACKAGE_FILES}")
endif()
