# Cross-builds the program for 64-bit Windows with Debian's MinGW-w64 (posix threads):
#   cmake -S . -B build-windows/release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The link is fully static: with the posix compiler, -static-libgcc -static-libstdc++
# alone still leave libwinpthread-1.dll to ship; -static leaves only KERNEL32.dll and
# msvcrt.dll, which every Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRIN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRIN_MINGW_PREFIX}-windres)

# Libraries and headers come from the cross sysroot only, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TAVRIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
