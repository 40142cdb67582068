# The Windows build with its test switch set (the preset windows-debug-mode), and hold.exe,
# which holds files open as another Windows program does.
# Usage: cmake -DSOURCE=DIR -DCROSS=DIR -P cross-build.cmake
foreach(step "--preset;windows-debug-mode" "--build;--preset;windows-debug-mode;--target;tavrin")
  execute_process(COMMAND ${CMAKE_COMMAND} ${step} WORKING_DIRECTORY ${SOURCE} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND x86_64-w64-mingw32-gcc-posix -O2 -o ${CROSS}/hold.exe ${SOURCE}/tests/windows/hold.c
                COMMAND_ERROR_IS_FATAL ANY)
