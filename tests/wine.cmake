# The Wine suites, included by tests/CMakeLists.txt.
#
# - x86_64 Windows build (preset win64): unit_tests and win32_tests (the Win32 services on their
#   own), Windows programs, under Wine through CMAKE_CROSSCOMPILING_EMULATOR (cmake/wine-run.sh).
# - i686 Windows build (preset win32): no emulator can run 32-bit code on these kernels, so its
#   tests are built and linked, not registered.
# - Linux build given VOLTALLY_WINE_EXE (preset wine): wine_tests, a Linux program that runs that
#   Voltally.exe under Wine on trees it makes, and the Linux Voltally beside it.
#
# Each ctest run uses one throwaway prefix: the fixture wine_prefix makes it before the first Wine
# test (one wineboot) and, after the last, stops its wine server and removes it.
set(VOLTALLY_WINE_EXE "" CACHE FILEPATH "Voltally.exe of an x86_64 build, for the Wine suites")
if(WIN32)
  # The Win32 services themselves, without the tool around them.
  add_executable(win32_tests win32_test.cpp)
  target_link_libraries(win32_tests PRIVATE voltally_platform GTest::gtest_main)
endif()
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(STATUS "No emulator for ${CMAKE_SYSTEM_PROCESSOR}: tests are built, not registered")
  return()
elseif(NOT CMAKE_CROSSCOMPILING AND NOT VOLTALLY_WINE_EXE)
  return()
endif()

set(WINE_PREFIX_DIR ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_DRIVES ${CMAKE_BINARY_DIR}/wine-drives)
set(wine_prefix_sh sh ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.sh)
add_test(NAME wine_prefix_setup COMMAND ${wine_prefix_sh} setup ${WINE_PREFIX_DIR}
         a:=${WINE_DRIVES}/a d:=${WINE_DRIVES}/d f:=${WINE_DRIVES}/f
         unc/server/share=${WINE_DRIVES}/share)
add_test(NAME wine_prefix_cleanup COMMAND ${wine_prefix_sh} cleanup ${WINE_PREFIX_DIR}
         ${WINE_DRIVES})
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS wine)

if(CMAKE_CROSSCOMPILING)
  # Listed when ctest starts, not at build time, so that building starts no wine server.
  foreach(target unit_tests win32_tests)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST
                         PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS wine)
  endforeach()
  return()
endif()

add_executable(wine_tests wine_harness.cpp wine_e2e_test.cpp wine_diff_test.cpp)
target_link_libraries(wine_tests PRIVATE run_program GTest::gtest_main)
target_compile_definitions(wine_tests PRIVATE
  WINE_RUN="${PROJECT_SOURCE_DIR}/cmake/wine-run.sh"
  WINE_PREFIX_DIR="${WINE_PREFIX_DIR}"
  WINE_DRIVES="${WINE_DRIVES}"
  VOLTALLY_EXE="${VOLTALLY_WINE_EXE}"
  VOLTALLY_BINARY="$<TARGET_FILE:Voltally>")
add_dependencies(wine_tests Voltally)
gtest_discover_tests(wine_tests PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS wine)
