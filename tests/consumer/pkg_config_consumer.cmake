# run_pkg_config_consumer(WORK_DIR PC_DIR SYSROOT LIBRARY_DIR): builds the consumer program (main.c
# beside this file) with C_COMPILER and nothing but the flags of `pkg-config --cflags --libs
# framedec`, as a build without CMake does, then runs it with the library from LIBRARY_DIR (under
# EMULATOR, when the caller has one).
# PC_DIR holds framedec.pc; SYSROOT, if not empty, is the root that its paths lie under (a package
# unpacked there). The file's Version must be VERSION.
set(FRAMEDEC_CONSUMER_DIR ${CMAKE_CURRENT_LIST_DIR})

function(run_pkg_config_consumer work_dir pc_dir sysroot library_dir)
  find_program(PKG_CONFIG pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_LIBDIR} "${pc_dir}")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "${sysroot}")
  execute_process(COMMAND ${PKG_CONFIG} --modversion framedec OUTPUT_VARIABLE version
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT version STREQUAL VERSION)
    message(FATAL_ERROR "framedec.pc in ${pc_dir} gives version '${version}', not ${VERSION}")
  endif()
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs framedec OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  file(MAKE_DIRECTORY "${work_dir}")
  execute_process(COMMAND ${C_COMPILER} -std=c99 -Wall -Wextra -pedantic -Werror -I${FRAMEDEC_CONSUMER_DIR}
                          ${FRAMEDEC_CONSUMER_DIR}/main.c ${flags} -o ${work_dir}/consumer
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${library_dir} ${EMULATOR} ${work_dir}/consumer
                  COMMAND_ERROR_IS_FATAL ANY)
  message(STATUS "pkg-config consumer (${flags}): ok")
endfunction()
