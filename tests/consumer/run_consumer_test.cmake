# Installs the built project into a scratch prefix, then configures, builds and runs the consumer
# project against it. Arguments: BUILD_DIR, CONSUMER_DIR, WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")

function(run step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${step} failed (${result}):\n${out}\n${err}")
  endif()
  message(STATUS "${step}: ok")
endfunction()

run(install "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
run(configure "${CMAKE_COMMAND}" -S "${CONSUMER_DIR}" -B "${WORK_DIR}/build"
    "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix" -DCMAKE_BUILD_TYPE=Release)
run(build "${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
run(run "${WORK_DIR}/build/consumer")
