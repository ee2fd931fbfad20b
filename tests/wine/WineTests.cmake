# The Windows build's tests: GoogleTest from Debian's sources (which names its
# targets GTest::gtest and GTest::gtest_main), and every test
# program run under Wine in a prefix of the build's own.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(TRELLUM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
# The prefix maps COM1 to this link; the harness points it at its pseudo-terminal.
set(TRELLUM_WINE_COM1 ${CMAKE_BINARY_DIR}/wine/com1)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${TRELLUM_WINE_PREFIX})

# trellum_wine_test(<target>): the whole program as one test, in one Wine
# process (Wine starts too slowly for a process per test case).
function(trellum_wine_test target)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 120 LABELS wine)
endfunction()
