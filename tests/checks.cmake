# The checks beyond the test suite, each a CTest test with its label, each switched on by
# its own option and configure preset (CMakePresets.json): windows, valgrind, static.
# The Windows builds beside which the windows checks run: the windows presets' folders,
# which the windows-checks preset names.
set(TAVRIN_WINDOWS_BUILDS ${PROJECT_SOURCE_DIR}/build-windows CACHE PATH
    "The folder of the windows presets' builds (release, debugmode)")

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
  set(cross ${TAVRIN_WINDOWS_BUILDS})
  set(here ${CMAKE_CURRENT_BINARY_DIR}/windows-checks)
  set(prefix ${here}/wineprefix)
  set(needs NEEDS windows-kit windows-switch windows-wine)
  tavrin_test(windows/kit LABEL windows PROPERTIES FIXTURES_SETUP windows-kit TIMEOUT 5400
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/package-windows ${cross}/release/package)
  tavrin_test(windows/cross-build LABEL windows PROPERTIES FIXTURES_SETUP windows-switch TIMEOUT 1800
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DCROSS=${cross}
            -P ${CMAKE_CURRENT_LIST_DIR}/windows/cross-build.cmake)
  tavrin_test(windows/wine-start LABEL windows PROPERTIES FIXTURES_SETUP windows-wine
    COMMAND ${TAVRIN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/windows/wine.py start ${prefix})
  tavrin_test(windows/wine-stop LABEL windows PROPERTIES FIXTURES_CLEANUP windows-wine
    COMMAND ${TAVRIN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/windows/wine.py stop ${prefix})

  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/windows/sessions.txt rows ENCODING UTF-8 REGEX "^[a-z]")
  foreach(row ${rows})
    string(REGEX MATCH "^[^ ]+" name "${row}")
    tavrin_test(windows/session/${name} LABEL windows ${needs}
      COMMAND ${TAVRIN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/windows/sessions.py ${name} --native $<TARGET_FILE:tavrin>
              --native-switch $<TARGET_FILE:tavrin_switch_on> --exe ${cross}/release/tavrin.exe
              --exe-switch ${cross}/debugmode/tavrin.exe --hold ${cross}/hold.exe --prefix ${prefix}
              --work ${here}/session/${name})
  endforeach()

  get_directory_property(view_files DIRECTORY ${PROJECT_SOURCE_DIR}/view DEFINITION TAVRIN_VIEW_FILES)
  string(REPLACE ";" "," view_files "${view_files}")
  foreach(check files imports lisezmoi chain sample series console hold)
    tavrin_test(windows/kit/${check} LABEL windows ${needs}
      COMMAND ${TAVRIN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/windows/kit.py ${check} --zip ${cross}/release/package
              --native ${CMAKE_BINARY_DIR} --prefix ${prefix} --work ${here}/kit-${check}
              --view-files ${view_files} --switch-exe ${cross}/debugmode/tavrin.exe)
  endforeach()
endif()

# A series under valgrind's memcheck: any memory error or leak fails it.
if(TAVRIN_VALGRIND_CHECKS)
  tavrin_test(valgrind/series LABEL valgrind PROPERTIES TIMEOUT 600
    COMMAND ${TAVRIN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/valgrind.py $<TARGET_FILE:tavrin>
            ${CMAKE_CURRENT_BINARY_DIR}/valgrind-series)
endif()

# The product's own sources (image/, colour/, app/, tools/, tests aside) as this build
# compiles them, so that the other platform's files are left out by CMake's own choice.
if(TAVRIN_STATIC_CHECKS)
  tavrin_test(static/format LABEL static PROPERTIES TIMEOUT 1800 COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-format)
  foreach(tool clang-tidy cppcheck)
    tavrin_test(static/${tool} LABEL static PROPERTIES TIMEOUT 1800
      COMMAND ${CMAKE_COMMAND} -DTOOL=${tool} -DSOURCE=${PROJECT_SOURCE_DIR} -DBUILD=${CMAKE_BINARY_DIR}
              -P ${CMAKE_CURRENT_LIST_DIR}/static.cmake)
  endforeach()
endif()
