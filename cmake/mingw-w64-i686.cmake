# The 32-bit Win32 console program that ships. Built and linked only: these Linux kernels cannot
# run 32-bit x86 code, so there is no emulator and its tests are built but not registered.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
