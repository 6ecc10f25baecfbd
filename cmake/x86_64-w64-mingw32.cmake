# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 toolchain in its POSIX-threads flavour
# (g++-mingw-w64-x86-64-posix: std::thread and std::mutex over winpthreads). Programs built here
# run under Wine (the wine package), which CTest uses as the emulator for every test.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_DLLTOOL ${_mingw}-dlltool)
set(CMAKE_OBJDUMP ${_mingw}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(FRAMEDEC_WINE NAMES wine wine64)
if(FRAMEDEC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FRAMEDEC_WINE})
endif()
