# trellum_whole_test(<target> [label...]): a CTest test, labelled `whole` and
# the labels given, that runs every test of one test binary in a single
# process, beside the per-test runs that gtest_discover_tests adds; state one
# test leaves behind fails it.
function(trellum_whole_test target)
  add_test(NAME ${target}.whole COMMAND ${target})
  set_tests_properties(${target}.whole PROPERTIES
    LABELS "whole;${ARGN}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 900)
endfunction()

# The label of the tests in which the component runs its event thread: the
# ThreadSanitizer build runs these.
set(TRELLUM_THREAD_LABEL tsan)

# trellum_test_path(<variable> <path>): a path of the build as the test
# programs see it: under Wine, on the drive that maps the root (Z:).
function(trellum_test_path var path)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(${var} "Z:${path}" PARENT_SCOPE)
  else()
    set(${var} "${path}" PARENT_SCOPE)
  endif()
endfunction()
