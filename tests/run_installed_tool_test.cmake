# Installs the built project into a scratch prefix and runs the installed `framedec demo` from an
# unrelated folder: it must find the installed library and the installed demo image, not the
# source tree's. Arguments: BUILD_DIR, WORK_DIR, and EMULATOR for a cross build (Wine: the tool
# then names the image by its Windows path, on drive Z:).
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
