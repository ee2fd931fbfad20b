# trellum_whole_test(<target> [label...]): a CTest test, labelled `whole` and
# the labels given, that runs every test of one test binary in a single
# process, beside the per-test runs that gtest_discover_tests adds; state one
# test leaves behind fails it.
function(trellum_whole_test target)
  add_test(NAME ${target}.whole COMMAND ${target})
  set_tests_properties(${target}.whole PROPERTIES
    LABELS "whole;${ARGN}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 900)
endfunction()

# trellum_gtest(<target> [THREADS] [PREFIX p] [TIMEOUT s] [LABELS l...]
# [ENVIRONMENT v=x...]): the GoogleTest program's tests one by one and whole;
# in the Windows build the program as one test under Wine (trellum_wine_test).
# THREADS marks a program in which the component runs its event thread: the
# target `tsan_tests` builds it and its whole run is labelled `tsan`, for the
# ThreadSanitizer step of the test command (one process holds every test).
function(trellum_gtest target)
  if(COMMAND trellum_wine_test)
    trellum_wine_test(${target})
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "THREADS" "PREFIX;TIMEOUT" "LABELS;ENVIRONMENT")
  set(labels ${arg_LABELS})
  set(whole_labels ${arg_LABELS})
  if(arg_THREADS)
    list(APPEND whole_labels tsan)
    set_property(GLOBAL APPEND PROPERTY TRELLUM_THREAD_TARGETS ${target})
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  set(prefix)
  if(arg_PREFIX)
    set(prefix TEST_PREFIX ${arg_PREFIX})
  endif()
  set(environment QT_QPA_PLATFORM=offscreen ${arg_ENVIRONMENT})
  include(GoogleTest)
  gtest_discover_tests(${target} ${prefix} DISCOVERY_TIMEOUT 60 TEST_LIST ${target}_TESTS)
  # gtest_discover_tests cuts list values apart: the properties are set on
  # the discovered tests by a file that CTest reads after the tests' own.
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
  file(WRITE ${file} "if(${target}_TESTS)\n"
       "  set_tests_properties(\${${target}_TESTS} PROPERTIES TIMEOUT ${arg_TIMEOUT}\n"
       "    ENVIRONMENT \"${environment}\" LABELS \"${labels}\")\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
  trellum_whole_test(${target} ${whole_labels})
  set_property(TEST ${target}.whole APPEND PROPERTY ENVIRONMENT ${arg_ENVIRONMENT})
endfunction()

# trellum_test_path(<variable> <path>): a path of the build as the test
# programs see it: under Wine, on the drive that maps the root (Z:).
function(trellum_test_path var path)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(${var} "Z:${path}" PARENT_SCOPE)
  else()
    set(${var} "${path}" PARENT_SCOPE)
  endif()
endfunction()
