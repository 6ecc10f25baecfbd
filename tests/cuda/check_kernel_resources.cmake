# Compiles the kernel sources with nvcc for every machine-code architecture of the build and reads
# ptxas's resource report: huffman and inverseDCT_2DLLM must use no stack frame and spill nothing
# (their values stay in registers). Prints their register counts.
#   cmake -DNVCC=... -DSOURCE_DIR=<repo>/src -DARCHITECTURES="75-real;..." -DWORK_DIR=... -P this
foreach(var NVCC SOURCE_DIR ARCHITECTURES WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not given")
  endif()
endforeach()
file(MAKE_DIRECTORY ${WORK_DIR})

set(gencode)
foreach(arch IN LISTS ARCHITECTURES)
  if(arch MATCHES "^([0-9]+)-real$")
    list(APPEND gencode -gencode "arch=compute_${CMAKE_MATCH_1},code=sm_${CMAKE_MATCH_1}")
  endif()
endforeach()

set(failures "")
foreach(source huffman idct)
  execute_process(
    COMMAND ${NVCC} -c -std=c++17 -I${SOURCE_DIR} --resource-usage ${gencode}
            ${SOURCE_DIR}/gpu/kernels/${source}.cu -o ${WORK_DIR}/${source}.o
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nvcc failed on ${source}.cu:\n${out}${err}")
  endif()
  # One record per entry function and architecture: name, sm, stack/spill line, register line.
  string(REGEX MATCHALL
         "Compiling entry function '[^']+' for 'sm_[0-9]+'[^\n]*\n[^\n]*\n[^\n]*bytes stack frame[^\n]*\n[^\n]*Used [0-9]+ registers"
         records "${out}${err}")
  foreach(record IN LISTS records)
    string(REGEX MATCH "entry function '([^']+)' for 'sm_([0-9]+)'" _ "${record}")
    set(function ${CMAKE_MATCH_1})
    set(sm ${CMAKE_MATCH_2})
    if(NOT function MATCHES "7huffman|16inverseDCT_2DLLM")
      continue()
    endif()
    string(REGEX MATCH "([0-9]+) bytes stack frame, ([0-9]+) bytes spill stores, ([0-9]+) bytes spill loads" _ "${record}")
    set(usage "stack ${CMAKE_MATCH_1}, spill stores ${CMAKE_MATCH_2}, spill loads ${CMAKE_MATCH_3}")
    string(REGEX MATCH "Used ([0-9]+) registers" _ "${record}")
    message(STATUS "${function} sm_${sm}: ${CMAKE_MATCH_1} registers, ${usage}")
    if(NOT usage STREQUAL "stack 0, spill stores 0, spill loads 0")
      string(APPEND failures "${function} sm_${sm}: ${usage}\n")
    endif()
    list(APPEND checked "${function}-${sm}")
  endforeach()
endforeach()

list(LENGTH checked count)
list(LENGTH gencode gencodeWords)
math(EXPR expected "${gencodeWords}")  # two words per architecture, two kernels
if(NOT count EQUAL expected)
  message(FATAL_ERROR "expected a report for 2 kernels x every architecture, found ${count}: ${checked}")
endif()
if(failures)
  message(FATAL_ERROR "kernels that use stack or spill:\n${failures}")
endif()
