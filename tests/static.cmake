# One static analyser over the product's own sources: image/, colour/, app/ and tools/,
# tests aside, as compile_commands.json lists them. Any finding fails.
# Usage: cmake -DTOOL=clang-tidy|cppcheck -DSOURCE=DIR -DBUILD=DIR -P static.cmake
file(READ ${BUILD}/compile_commands.json commands)
string(JSON count LENGTH "${commands}")
math(EXPR last "${count} - 1")
set(sources)
foreach(i RANGE ${last})
  string(JSON file GET "${commands}" ${i} file)
  file(RELATIVE_PATH file ${SOURCE} ${file})
  if(file MATCHES "^(image|colour|app|tools)/" AND NOT file MATCHES "_test\\.cpp$")
    list(APPEND sources ${file})
  endif()
endforeach()
list(REMOVE_DUPLICATES sources)
list(SORT sources)
if(TOOL STREQUAL clang-tidy)  # with the checked-in .clang-tidy
  set(command clang-tidy -p ${BUILD} --quiet ${sources})
else()
  set(command cppcheck --enable=warning,performance,portability --std=c++17 --inline-suppr --quiet
              --error-exitcode=1 -I . ${sources})
endif()
execute_process(COMMAND ${command} WORKING_DIRECTORY ${SOURCE} RESULT_VARIABLE status)
list(LENGTH sources n)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL}: findings in the ${n} files above (exit ${status})")
endif()
message("${TOOL}: ${n} files, nothing found")
