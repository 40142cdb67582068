# Read by cpack as it makes the kit: names the zip tavrin-<git describe>-windows-x64,
# from the checkout as it is at that moment, so that a zip never carries a stale name.
set(tavrin_describe unknown)
if(CPACK_TAVRIN_GIT)
  execute_process(COMMAND ${CPACK_TAVRIN_GIT} describe --tags --always --dirty
                  WORKING_DIRECTORY ${CPACK_TAVRIN_SOURCE_DIR}
                  OUTPUT_VARIABLE tavrin_described OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE tavrin_status ERROR_QUIET)
  if(tavrin_status EQUAL 0 AND tavrin_described)
    set(tavrin_describe ${tavrin_described})
  endif()
endif()
if(tavrin_describe STREQUAL unknown)
  message(WARNING "git describe gave nothing in ${CPACK_TAVRIN_SOURCE_DIR}: the zip is named "
                  "tavrin-unknown-windows-x64")
endif()
set(CPACK_PACKAGE_FILE_NAME tavrin-${tavrin_describe}-windows-x64)
