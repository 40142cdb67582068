# The checks beyond the test suite, each a CTest test with its label, each switched on by
# its own option and configure preset (CMakePresets.json): windows, valgrind, static.
set(Python3_EXECUTABLE /usr/bin/python3)  # Debian's, with the packages scripts/packages lists

# tavrin.exe and the operator's kit, cross-built and run under Wine, every output compared
# with this native build's. The builds and the Wine prefix are fixtures, made once:
#   windows/kit          the kit's cross build and zip (scripts/package-windows), whose
#                        tavrin.exe the sessions run
#   windows/cross-build  tavrin.exe with its test switch set, and hold.exe
#   windows/wine-start   the one Wine prefix every run uses, stopped by windows/wine-stop
if(TAVRIN_WINDOWS_CHECKS)
  if(NOT TARGET tavrin_switch_on)
    tavrin_add_program(tavrin_switch_on 1)
  endif()
  set(cross ${PROJECT_SOURCE_DIR}/build-windows)  # the windows presets' folders
  set(here ${CMAKE_CURRENT_BINARY_DIR}/windows-checks)
  set(prefix ${here}/wineprefix)
  add_test(NAME windows/kit COMMAND ${PROJECT_SOURCE_DIR}/scripts/package-windows ${cross}/release/package)
  add_test(NAME windows/cross-build COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DCROSS=${cross}
                                            -P ${CMAKE_CURRENT_LIST_DIR}/windows/cross-build.cmake)
  add_test(NAME windows/wine-start COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/windows/wine.py start ${prefix})
  add_test(NAME windows/wine-stop COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/windows/wine.py stop ${prefix})
  set_tests_properties(windows/kit PROPERTIES FIXTURES_SETUP windows-kit TIMEOUT 5400)
  set_tests_properties(windows/cross-build PROPERTIES FIXTURES_SETUP windows-switch TIMEOUT 1800)
  set_tests_properties(windows/wine-start PROPERTIES FIXTURES_SETUP windows-wine)
  set_tests_properties(windows/wine-stop PROPERTIES FIXTURES_CLEANUP windows-wine)
  set(tests windows/kit windows/cross-build windows/wine-start windows/wine-stop)

  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/windows/sessions.txt rows ENCODING UTF-8 REGEX "^[a-z]")
  foreach(row ${rows})
    string(REGEX MATCH "^[^ ]+" name "${row}")
    add_test(NAME windows/session/${name}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/windows/sessions.py ${name} --native $<TARGET_FILE:tavrin>
                     --native-switch $<TARGET_FILE:tavrin_switch_on> --exe ${cross}/release/tavrin.exe
                     --exe-switch ${cross}/debugmode/tavrin.exe --hold ${cross}/hold.exe --prefix ${prefix}
                     --work ${here}/session/${name})
    set_tests_properties(windows/session/${name} PROPERTIES
                         FIXTURES_REQUIRED "windows-kit;windows-switch;windows-wine")
    list(APPEND tests windows/session/${name})
  endforeach()

  get_directory_property(view_files DIRECTORY ${PROJECT_SOURCE_DIR}/view DEFINITION TAVRIN_VIEW_FILES)
  string(REPLACE ";" "," view_files "${view_files}")
  foreach(check files imports lisezmoi chain sample series console)
    add_test(NAME windows/kit/${check}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/windows/kit.py ${check} --zip ${cross}/release/package
                     --native ${CMAKE_BINARY_DIR} --prefix ${prefix} --work ${here}/kit-${check}
                     --view-files ${view_files} --switch-exe ${cross}/debugmode/tavrin.exe)
    set_tests_properties(windows/kit/${check} PROPERTIES FIXTURES_REQUIRED "windows-kit;windows-switch;windows-wine")
    list(APPEND tests windows/kit/${check})
  endforeach()
  set_tests_properties(${tests} PROPERTIES LABELS windows)
endif()

# A series under valgrind's memcheck: any memory error or leak fails it.
if(TAVRIN_VALGRIND_CHECKS)
  add_test(NAME valgrind/series COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/valgrind.py $<TARGET_FILE:tavrin>
                                        ${CMAKE_CURRENT_BINARY_DIR}/valgrind-series)
  set_tests_properties(valgrind/series PROPERTIES LABELS valgrind TIMEOUT 600)
endif()

# The product's own sources (image/, colour/, app/, tools/, tests aside) as this build
# compiles them, so that the other platform's files are left out by CMake's own choice.
if(TAVRIN_STATIC_CHECKS)
  add_test(NAME static/format COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-format)
  foreach(tool clang-tidy cppcheck)
    add_test(NAME static/${tool} COMMAND ${CMAKE_COMMAND} -DTOOL=${tool} -DSOURCE=${PROJECT_SOURCE_DIR}
                                         -DBUILD=${CMAKE_BINARY_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/static.cmake)
  endforeach()
  set_tests_properties(static/format static/clang-tidy static/cppcheck PROPERTIES LABELS static TIMEOUT 1800)
endif()
