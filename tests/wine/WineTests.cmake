# The Windows build's tests: GoogleTest from Debian's sources (which names its
# targets GTest::gtest and GTest::gtest_main), and every test
# program run under Wine in a prefix of the build's own.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The harness and the checks of the real window are Python scripts.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(TRELLUM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
# The prefix maps COM1 to this link; the harness points it at its pseudo-terminal.
set(TRELLUM_WINE_COM1 ${CMAKE_BINARY_DIR}/wine/com1)
# Every Wine process of the tests, Wine's server included, runs with the
# pseudo-terminal shim (tests/wine/ptyshim.c) preloaded.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${TRELLUM_WINE_PREFIX} ${TRELLUM_PTY_SHIM})

# trellum_wine_test(<target>): the whole program as one test, in one Wine
# process (Wine starts too slowly for a process per test case).
function(trellum_wine_test target)
  add_dependencies(${target} trellum_ptyshim)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 600 LABELS wine)
endfunction()

# trellum_wine_harness_test(<target> [HARNESS options...] [ARGS arguments...]):
# the program as one test under tests/wine/harness.py, which holds COM1's far
# end (and with --reader, runs the virtual reader there). Every such test
# takes the one COM1 of the prefix.
function(trellum_wine_harness_test target)
  cmake_parse_arguments(PARSE_ARGV 1 test "" "" "HARNESS;ARGS")
  add_dependencies(${target} trellum_ptyshim)
  add_test(NAME ${target}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/wine/harness.py --prefix ${TRELLUM_WINE_PREFIX}
            --shim ${TRELLUM_PTY_SHIM} --link ${TRELLUM_WINE_COM1} --log ${CMAKE_CURRENT_BINARY_DIR}/${target}.rts.log
            ${test_HARNESS} -- $<TARGET_FILE:${target}> ${test_ARGS})
  set_tests_properties(${target} PROPERTIES
    FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine_com1 TIMEOUT 600 LABELS wine)
endfunction()
