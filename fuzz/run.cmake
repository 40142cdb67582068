# One fuzz target for a bounded time, new inputs kept in the build folder beside the
# committed seeds (read, never written). Fails on a crash, a leak, an input that takes
# over 5 s (each takes milliseconds) or a broken property, naming the input kept.
# Usage: cmake -DTARGET=EXE -DSEEDS=DIR -DWORK=DIR -DSECONDS=N -P run.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts ${WORK}/tmp)
# The targets write and remove a file or two per input: in memory when the machine offers
# it, as a disk may make each removal cost a millisecond.
set(scratch ${WORK}/tmp)
if(IS_DIRECTORY /dev/shm)
  string(RANDOM LENGTH 12 tag)
  set(scratch /dev/shm/tavrin-fuzz-${tag})
  file(MAKE_DIRECTORY ${scratch})
endif()
set(ENV{TMPDIR} ${scratch})
set(ENV{ASAN_OPTIONS} detect_leaks=1)
set(ENV{UBSAN_OPTIONS} print_stacktrace=1)
execute_process(COMMAND ${TARGET} -max_total_time=${SECONDS} -timeout=5 -rss_limit_mb=1024 -malloc_limit_mb=256
                        -close_fd_mask=2 -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus ${SEEDS}
                WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status OUTPUT_FILE ${WORK}/fuzz.log ERROR_FILE ${WORK}/fuzz.log)
if(NOT scratch STREQUAL ${WORK}/tmp)
  file(REMOVE_RECURSE ${scratch})
endif()
file(STRINGS ${WORK}/fuzz.log coverage REGEX "cov: [0-9]+ ft: [0-9]+ corp: [0-9]+")
list(POP_BACK coverage last)
file(STRINGS ${WORK}/fuzz.log runs REGEX "^Done [0-9]+ runs")
if(NOT status EQUAL 0)
  file(READ ${WORK}/fuzz.log log)
  string(LENGTH "${log}" length)
  math(EXPR from "${length} - 6000")
  if(from LESS 0)
    set(from 0)
  endif()
  string(SUBSTRING "${log}" ${from} -1 tail)
  message("${tail}")
  message(FATAL_ERROR "exit ${status}; the input is in ${WORK}/artifacts, the log ${WORK}/fuzz.log")
endif()
message("${runs} in ${SECONDS} s; ${last}")
