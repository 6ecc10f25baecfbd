# Cross-compiling for 64-bit ARM Linux with Debian's cross toolchain (g++-aarch64-linux-gnu): the
# library with the NEON block decoder instead of the x86 ones. Where Debian's qemu-user is
# installed, the tests run under it with the cross toolchain's libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(FRAMEDEC_QEMU_AARCH64 qemu-aarch64)
if(FRAMEDEC_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FRAMEDEC_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
