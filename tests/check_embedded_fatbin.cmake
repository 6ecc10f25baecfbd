# The device code embedded in a library, as NVIDIA's own tool reads it: the fatbin section is
# copied out of the library and cuobjdump lists one cubin per architecture of the build and the
# PTX. For the Windows DLL, whose format the Linux cuobjdump does not read.
# Arguments: OBJCOPY, CUOBJDUMP, LIBRARY, SECTION, WORK_DIR, MACHINE_CODE and PTX (compute
# capabilities separated by commas, e.g. 52,61,75).
if(NOT CUOBJDUMP)
  message(FATAL_ERROR "cuobjdump was not found when CMake ran (tests/run-all.sh fetches it into build/cuda-binary-tools)")
endif()
set(fatbin "${WORK_DIR}/embedded.fatbin")
execute_process(COMMAND "${OBJCOPY}" -O binary "--only-section=${SECTION}" "${LIBRARY}" "${fatbin}"
                RESULT_VARIABLE result ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "copying ${SECTION} out of ${LIBRARY} failed: ${err}")
endif()
file(SIZE "${fatbin}" size)
execute_process(COMMAND "${CUOBJDUMP}" --list-elf --list-ptx "${fatbin}"
                RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cuobjdump failed on the ${size} bytes of ${SECTION}: ${err}")
endif()
string(REGEX MATCHALL "ELF file[^\n]*\\.sm_[0-9]+\\." elf "${listing}")
string(REGEX MATCHALL "PTX file[^\n]*\\.sm_[0-9]+\\." ptx "${listing}")
foreach(kind elf ptx)
  string(REGEX REPLACE "[^;]*\\.sm_([0-9]+)\\." "\\1" ${kind} "${${kind}}")
  list(SORT ${kind} COMPARE NATURAL)
endforeach()
string(REPLACE "," ";" expected_elf "${MACHINE_CODE}")
string(REPLACE "," ";" expected_ptx "${PTX}")
list(SORT expected_elf COMPARE NATURAL)
list(SORT expected_ptx COMPARE NATURAL)
if(NOT elf STREQUAL expected_elf OR NOT ptx STREQUAL expected_ptx)
  message(FATAL_ERROR "${LIBRARY} carries machine code for '${elf}' and PTX for '${ptx}', not '${expected_elf}' "
                      "and '${expected_ptx}':\n${listing}")
endif()
message(STATUS "${LIBRARY}: ${size} bytes of device code\n${listing}")
