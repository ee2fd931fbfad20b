# trellum_whole_test(<target>): a CTest test, labelled `whole`, that runs every
# test of one test binary in a single process, beside the per-test runs that
# gtest_discover_tests adds; state one test leaves behind fails it.
function(trellum_whole_test target)
  add_test(NAME ${target}.whole COMMAND ${target})
  set_tests_properties(${target}.whole PROPERTIES
    LABELS whole ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 900)
endfunction()
