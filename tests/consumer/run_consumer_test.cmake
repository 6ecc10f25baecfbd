# Installs the built project into a scratch prefix, then configures, builds and runs the consumer
# project against it. Arguments: BUILD_DIR, CONSUMER_DIR, WORK_DIR, C_COMPILER, VERSION; for a
# cross build also TOOLCHAIN_FILE and EMULATOR (the consumer is built with the same toolchain and
# run under the emulator). A native build also builds the consumer through pkg-config. A Windows
# build is also consumed with MSVC conventions where clang-cl and lld-link exist: through the CMake
# package, which gives them framedec.lib, as C, as C++ and loading framedec.dll delayed; and the
# header refuses a 32-bit Windows target.
file(REMOVE_RECURSE "${WORK_DIR}")

function(run step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err
                  WORKING_DIRECTORY "${working_directory}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${step} failed (${result}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
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
  file(READ "${WORK_DIR}/build/import-library.txt" import_library)
  if(NOT import_library STREQUAL "${prefix}/lib/libframedec.dll.a")
    message(FATAL_ERROR "the CMake package gives MinGW ${import_library}, not libframedec.dll.a")
  endif()
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
  set(msvc_build "${WORK_DIR}/msvc")
  run("msvc configure" "${CMAKE_COMMAND}" -S "${CONSUMER_DIR}/msvc" -B "${msvc_build}" -DCMAKE_SYSTEM_NAME=Windows
      -DCMAKE_SYSTEM_PROCESSOR=AMD64 "-DCMAKE_C_COMPILER=${CLANG_CL}" "-DCMAKE_CXX_COMPILER=${CLANG_CL}"
      "-DCMAKE_LINKER=${LLD_LINK}" -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_CXX_COMPILER_WORKS=ON
      "-Dframedec_DIR=${prefix}/lib/cmake/framedec" "-DKERNEL32_LIBRARY=${KERNEL32_LIBRARY}")
  file(READ "${msvc_build}/import-library.txt" import_library)
  if(NOT import_library STREQUAL "${prefix}/lib/framedec.lib")
    message(FATAL_ERROR "the CMake package gives MSVC-style linkers ${import_library}, not framedec.lib")
  endif()
  run("msvc build" "${CMAKE_COMMAND}" --build "${msvc_build}")
  file(COPY "${prefix}/bin/framedec.dll" DESTINATION "${msvc_build}")
  foreach(consumer consumer-c consumer-cpp consumer-delayload)
    run("msvc ${consumer}" ${EMULATOR} "${msvc_build}/${consumer}.exe")
  endforeach()
  find_program(LLVM_READOBJ NAMES llvm-readobj llvm-readobj-16 llvm-readobj-15 llvm-readobj-14 REQUIRED)
  run("msvc delayload imports" "${LLVM_READOBJ}" --coff-imports "${msvc_build}/consumer-delayload.exe")
  if(NOT output MATCHES "DelayImport {\n *Name: framedec.dll")
    message(FATAL_ERROR "consumer-delayload does not load framedec.dll delayed:\n${output}")
  endif()

  # framedec.dll is a 64-bit DLL: the header refuses a 32-bit Windows target by name.
  execute_process(COMMAND "${CLANG_CL}" /nologo -m32 /Zs /TC "/I${prefix}/include" msvc_main.c
                  WORKING_DIRECTORY "${CONSUMER_DIR}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(result EQUAL 0 OR NOT "${out}${err}" MATCHES "64-bit Windows only")
    message(FATAL_ERROR "framedec.h compiled for 32-bit Windows (${result}):\n${out}\n${err}")
  endif()
  message(STATUS "msvc 32-bit: refused")
endif()
