# Shared by the two mingw-w64 toolchain files, which set TOOLCHAIN_PREFIX and the processor first.
set(CMAKE_SYSTEM_NAME Windows)
# The -posix compilers: GCC 12's default (win32 thread model) libstdc++ has no std::mutex, which
# GoogleTest needs.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# libgcc, libstdc++ and winpthread linked in: the programs import only system DLLs
# (KERNEL32.dll and msvcrt.dll).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Tests run under Wine; wine64 hands a 32-bit program to Wine's 32-bit loader.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
