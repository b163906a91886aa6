# The Wine suites, included by tests/CMakeLists.txt.
#
# - Windows builds (presets win32 and win64): unit_tests and win32_tests (the Win32 services on
#   their own), Windows programs, under Wine through CMAKE_CROSSCOMPILING_EMULATOR
#   (cmake/wine-run.sh); wine64 hands the 32-bit ones to Wine's 32-bit half.
# - Linux build given VOLTALLY_WINE_EXE (preset wine): wine_tests, a Linux program that runs each
#   listed Voltally.exe under Wine on trees it makes, and the Linux Voltally beside it. Each
#   program's tests are named after its build folder ("win32.", "win64.").
#
# Each ctest run uses throwaway prefixes: the fixture wine_prefix_<name> makes one before the first
# Wine test (one wineboot) and, after the last, stops its wine server and removes it. A program
# tested by the harness gets a prefix and drive folders of its own, so both run side by side.
set(VOLTALLY_WINE_EXE "" CACHE STRING "Voltally.exe of Windows builds, for the Wine harness")
if(WIN32)
  # The Win32 services themselves, without the tool around them.
  add_executable(win32_tests win32_test.cpp)
  target_link_libraries(win32_tests PRIVATE voltally_platform GTest::gtest_main)
  # Runs the program on a console and reads the console's code page around it; the Wine harness
  # starts it in a terminal.
  add_executable(console_probe console_probe.cpp)
  target_link_options(console_probe PRIVATE -municode)
  # The console's code page is never changed: the program writes to a console in UTF-16.
  add_test(NAME ConsoleCodePageNeverSet COMMAND sh -c
           "objdump -p \"$0\" | grep -q WriteConsoleW && ! objdump -p \"$0\" | grep -q SetConsoleOutputCP"
           $<TARGET_FILE:Voltally>)
  # What Voltally.exe carries, read back through the system's calls; the packages check of
  # scripts/test runs it on the programs.
  add_executable(resource_probe resource_probe.cpp)
  target_link_libraries(resource_probe PRIVATE version)
  target_link_options(resource_probe PRIVATE -municode)
  target_compile_definitions(resource_probe PRIVATE VOLTALLY_VERSION="${PROJECT_VERSION}"
    VOLTALLY_VERSION_NUMBERS=${VOLTALLY_VERSION_NUMBERS}
    VOLTALLY_DESCRIPTION="${PROJECT_DESCRIPTION}" VOLTALLY_COPYRIGHT="${VOLTALLY_COPYRIGHT}")
elseif(NOT VOLTALLY_WINE_EXE)
  return()
endif()

# Registers the fixture wine_prefix_${name}: a prefix in ${state}/wineprefix whose drives A:, D:,
# F: and \\server\share are folders in ${state}/wine-drives.
function(add_wine_prefix name state)
  set(wine_prefix_sh sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/wine_prefix.sh)
  set(drives ${state}/wine-drives)
  add_test(NAME wine_prefix_setup_${name} COMMAND ${wine_prefix_sh} setup ${state}/wineprefix
           a:=${drives}/a d:=${drives}/d f:=${drives}/f unc/server/share=${drives}/share)
  add_test(NAME wine_prefix_cleanup_${name} COMMAND ${wine_prefix_sh} cleanup ${state}/wineprefix
           ${drives})
  set_tests_properties(wine_prefix_setup_${name} PROPERTIES FIXTURES_SETUP wine_prefix_${name}
                       LABELS wine)
  set_tests_properties(wine_prefix_cleanup_${name} PROPERTIES FIXTURES_CLEANUP wine_prefix_${name}
                       LABELS wine)
endfunction()

if(CMAKE_CROSSCOMPILING)
  add_wine_prefix(${CMAKE_SYSTEM_PROCESSOR} ${CMAKE_BINARY_DIR})
  # Listed when ctest starts, not at build time, so that building starts no wine server.
  foreach(target unit_tests win32_tests)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST
                         PROPERTIES FIXTURES_REQUIRED wine_prefix_${CMAKE_SYSTEM_PROCESSOR}
                         LABELS wine)
  endforeach()
  return()
endif()

add_executable(wine_tests wine_harness.cpp wine_e2e_test.cpp wine_diff_test.cpp)
target_link_libraries(wine_tests PRIVATE run_program GTest::gtest_main)
target_compile_definitions(wine_tests PRIVATE
  WINE_RUN="${PROJECT_SOURCE_DIR}/cmake/wine-run.sh"
  WINE_STATE="${CMAKE_BINARY_DIR}"
  VOLTALLY_BINARY="$<TARGET_FILE:Voltally>")
add_dependencies(wine_tests Voltally)
foreach(exe IN LISTS VOLTALLY_WINE_EXE)
  # The state folder is named after the program's build folder; the harness finds it the same way.
  get_filename_component(build ${exe} DIRECTORY)
  get_filename_component(name ${build} NAME)
  add_wine_prefix(${name} ${CMAKE_BINARY_DIR}/${name})
  gtest_discover_tests(wine_tests TEST_PREFIX ${name}. PROPERTIES ENVIRONMENT VOLTALLY_EXE=${exe}
                       FIXTURES_REQUIRED wine_prefix_${name} LABELS wine)
endforeach()
