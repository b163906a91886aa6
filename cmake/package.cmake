# Packages, made by cpack from the install rules: on Linux a Debian package (cpack --preset deb),
# for Windows a zip of the program and the README (cpack --preset win32-zip). The version is the
# project's.
set(CPACK_PACKAGE_NAME Voltally)
set(CPACK_PACKAGE_VENDOR "Voltally developers")
set(CPACK_PACKAGE_CONTACT "Voltally developers <voltally@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "drive capacity, free and used space, and the size of a folder, on one line")
set(CPACK_STRIP_FILES ON)

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
