# Installs the built project into a scratch prefix, then configures, builds and runs the consumer
# project against it. Arguments: BUILD_DIR, CONSUMER_DIR, WORK_DIR, C_COMPILER, VERSION; for a
# cross build also TOOLCHAIN_FILE and EMULATOR (the consumer is built with the same toolchain and
# run under the emulator). A native build also builds the consumer through pkg-config. A Windows build is also consumed with MSVC conventions where clang-cl and lld-link
# exist: the header compiled as C and as C++, linked through framedec.lib alone.
file(REMOVE_RECURSE "${WORK_DIR}")

function(run step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err
                  WORKING_DIRECTORY "${working_directory}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${step} failed (${result}):\n${out}\n${err}")
  endif()
  message(STATUS "${step}: ok")
endfunction()

set(prefix "${WORK_DIR}/prefix")
# A cross toolchain searches packages only below its target root, so the package is named directly.
set(toolchain)
if(TOOLCHAIN_FILE)
  set(toolchain "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}" "-Dframedec_DIR=${prefix}/lib/cmake/framedec")
endif()
run(install "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
run(configure "${CMAKE_COMMAND}" -S "${CONSUMER_DIR}" -B "${WORK_DIR}/build" ${toolchain}
    "-DCMAKE_PREFIX_PATH=${prefix}" -DCMAKE_BUILD_TYPE=Release)
run(build "${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
if(EXISTS "${WORK_DIR}/build/consumer.exe")
  run(run ${EMULATOR} "${WORK_DIR}/build/consumer.exe")
else()
  run(run ${EMULATOR} "${WORK_DIR}/build/consumer")
  include(${CMAKE_CURRENT_LIST_DIR}/pkg_config_consumer.cmake)
  run_pkg_config_consumer("${WORK_DIR}/pkg-config" "${prefix}/lib/pkgconfig" "" "${prefix}/lib")
endif()

if(EXISTS "${prefix}/lib/framedec.lib")
  find_program(CLANG_CL NAMES clang-cl clang-cl-14 clang-cl-15 clang-cl-16)
  find_program(LLD_LINK NAMES lld-link lld-link-14 lld-link-15 lld-link-16)
  find_file(KERNEL32_LIBRARY libkernel32.a PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH)
  if(NOT CLANG_CL OR NOT LLD_LINK OR NOT KERNEL32_LIBRARY)
    message(STATUS "msvc: skipped, clang-cl, lld-link or MinGW's kernel32 import library not found")
    return()
  endif()
  # In the folder of the program, with relative file names: the MSVC-style tools read an argument
  # that starts with "/" as an option.
  set(working_directory "${WORK_DIR}/msvc")
  file(MAKE_DIRECTORY "${working_directory}")
  file(COPY "${prefix}/bin/framedec.dll" "${CONSUMER_DIR}/msvc_main.c" "${CONSUMER_DIR}/decode_checks.h"
       DESTINATION "${working_directory}")
  get_filename_component(kernel32_dir "${KERNEL32_LIBRARY}" DIRECTORY)
  foreach(language c cpp)
    set(as_language /TC)
    if(language STREQUAL "cpp")
      set(as_language /TP)
    endif()
    run("msvc ${language} compile" "${CLANG_CL}" /nologo /c /W4 /WX /GS- /Od ${as_language} "/I${prefix}/include"
        /Fo${language}.obj msvc_main.c)
    run("msvc ${language} link" "${LLD_LINK}" /nologo /nodefaultlib /subsystem:console /entry:ConsumerStart
        "/libpath:${prefix}/lib" "/libpath:${kernel32_dir}" ${language}.obj framedec.lib libkernel32.a
        /out:consumer-${language}.exe)
    run("msvc ${language} run" ${EMULATOR} consumer-${language}.exe)
  endforeach()
endif()
