# Installs the built project into a scratch prefix and runs the installed `framedec demo` from an
# unrelated folder: it must find the installed library and the installed demo image, not the
# source tree's. The installed library and tool are stripped and hardened: no debug information or
# symbol table; on Linux stack protection, full RELRO and immediate binding, and (FORTIFIED builds)
# the C library's checked functions. Arguments: BUILD_DIR, WORK_DIR, OBJDUMP, READELF (Linux),
# FORTIFIED, and EMULATOR for a cross build (Wine: the tool then names the image by its Windows path,
# on drive Z:).
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/run")

execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix"
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed (${result}): ${err}")
endif()

set(tool "${WORK_DIR}/prefix/bin/framedec")
set(image "${WORK_DIR}/prefix/share/framedec/astronaut.pgm")
if(EXISTS "${tool}.exe")
  string(APPEND tool .exe)
  string(REPLACE "/" "\\" image "Z:${image}")
endif()
execute_process(COMMAND ${EMULATOR} "${tool}" demo --runs 1
                WORKING_DIRECTORY "${WORK_DIR}/run"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "installed framedec demo failed (${result}):\n${out}\n${err}")
endif()
string(FIND "${out}" "source: ${image}" found)
if(found EQUAL -1)
  message(FATAL_ERROR "installed framedec demo did not use the installed image:\n${out}")
endif()
if(NOT EXISTS "${WORK_DIR}/run/framedec-demo/pixels.pgm")
  message(FATAL_ERROR "installed framedec demo wrote no pixels.pgm")
endif()
message(STATUS "installed framedec demo: ok\n${out}")
# A native build installs the manual page, written from the tool's own help (a cross build cannot
# run its tool to write it).
if(NOT EMULATOR)
  file(GLOB man_page "${WORK_DIR}/prefix/share/man/man1/framedec.1*")
  if(NOT man_page)
    message(FATAL_ERROR "no manual page framedec.1 installed under share/man/man1")
  endif()
endif()

function(read_binary out tool)
  execute_process(COMMAND ${tool} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${tool} ${ARGN} failed (${result}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(GLOB binaries "${WORK_DIR}/prefix/bin/framedec*" "${WORK_DIR}/prefix/lib*/libframedec.so.*.*")
list(FILTER binaries EXCLUDE REGEX "\\.txt$")
foreach(binary IN LISTS binaries)
  if(READELF)
    read_binary(sections "${READELF}" -SW "${binary}")
  else()
    read_binary(sections "${OBJDUMP}" -h "${binary}")
  endif()
  if(sections MATCHES " \\.(debug_[a-z]+|symtab) ")
    message(FATAL_ERROR "${binary} is not stripped: it has .${CMAKE_MATCH_1}")
  endif()
  if(READELF)
    read_binary(segments "${READELF}" -lW "${binary}")
    read_binary(dynamic "${READELF}" -dW "${binary}")
    read_binary(imports "${READELF}" --dyn-syms -W "${binary}")
    if(NOT segments MATCHES "GNU_RELRO" OR NOT dynamic MATCHES "BIND_NOW")
      message(FATAL_ERROR "${binary} lacks full RELRO with immediate binding:\n${segments}\n${dynamic}")
    endif()
    if(NOT imports MATCHES "__stack_chk_fail")
      message(FATAL_ERROR "${binary} has no stack protection")
    endif()
    if(FORTIFIED AND binary MATCHES "/bin/framedec$" AND NOT imports MATCHES "__[a-z]+_chk")
      message(FATAL_ERROR "${binary} calls none of the C library's checked functions")
    endif()
  endif()
  message(STATUS "${binary}: stripped and hardened")
endforeach()

