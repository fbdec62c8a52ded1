# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX thread
# model, so std::thread and std::mutex work), linked statically: the programs
# need no DLL beside them but Windows' own.  Test programs run under wine.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CHK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CHK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CHK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CHK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CHK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthreads go into every executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and test discovery run the Windows programs through wine.
find_program(CHK_WINE NAMES wine wine64)
if(CHK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CHK_WINE})
endif()
