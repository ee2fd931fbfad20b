# Runs the fuzzer for SECONDS on a fresh corpus folder of its own, seeded from
# SEEDS, so that parallel runs never share files. Findings stay in the folder.
string(RANDOM LENGTH 8 tag)
set(dir ${WORK}/run-${tag})
file(MAKE_DIRECTORY ${dir}/corpus)
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -print_final_stats=1
          -artifact_prefix=${dir}/ ${dir}/corpus ${SEEDS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzzer failed (${result}); the input that broke it is in ${dir}")
endif()
file(REMOVE_RECURSE ${dir})
