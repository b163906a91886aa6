# Packages, made by cpack from the install rules into build/packages: on Linux a Debian package
# (cpack --preset deb), for Windows a zip of the program, its readme and the license (cpack
# --preset win32-zip); scripts/package makes both and their SHA256SUMS. The version is the
# project's.

# Two builds of one commit give the same files: every time a package holds is this one, and no
# file holds the clock's. SOURCE_DATE_EPOCH when it is set, else the last commit's time, else (a
# tree without its history) the modification time of CMakeLists.txt, which an exported tree
# keeps from its commit.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(CPACK_VOLTALLY_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE CPACK_VOLTALLY_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_failed ERROR_QUIET)
  if(git_failed OR NOT CPACK_VOLTALLY_SOURCE_DATE_EPOCH)
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt CPACK_VOLTALLY_SOURCE_DATE_EPOCH %s UTC)
  else()
    # A commit, checkout or reset writes the reflog, so the build configures again and takes
    # the new time rather than packing the old one.
    execute_process(COMMAND git rev-parse --git-path logs/HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE reflog
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    get_filename_component(reflog "${reflog}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    if(EXISTS ${reflog})
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                   ${reflog})
    endif()
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VOLTALLY_SOURCE_DATE_EPOCH})  # for string(TIMESTAMP)
endif()
# cpack, a process of its own, takes the time from here (cmake/cpack_time.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_time.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack_after.cmake)

# The folders that installing makes are 0755 whatever the builder's umask (under 0002 they would
# be group-writable): in the packages, since cpack takes this as its
# CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS, and in a cmake --install. The files' modes are the
# install rules' own.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_PACKAGE_NAME Voltally)
set(CPACK_PACKAGE_VENDOR "Voltally developers")
set(CPACK_PACKAGE_CONTACT "Voltally developers <voltally@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
# The Windows program is stripped when it is linked (cmake/win32_program.cmake): strip would
# write a time into its header.
if(NOT WIN32)
  set(CPACK_STRIP_FILES ON)
endif()

set(CPACK_DEBIAN_PACKAGE_NAME voltally)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Voltally prints, for the drive a path lies on, the drive's capacity, its free
space and its used space, and then the total size of the files under the path,
separated by single spaces on one line, in bytes, KBytes, MBytes or GBytes. The
walk never follows a link. On Linux the only drive is C:, the root directory.")
set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_PROCESSOR})
if(WIN32)
  set(CPACK_SYSTEM_NAME win32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
endif()
include(CPack)
