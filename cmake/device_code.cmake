# The kernels' device code: one fatbin with machine code for every architecture of
# FRAMEDEC_GPU_ARCHITECTURES and PTX for its "-virtual" entries, built outside CMake's CUDA language
# (no host code is compiled by nvcc: the library loads the fatbin through the runtime's library API).
#
# nvcc (CUDA 13) builds compute capability 7.5 and newer. Older architectures (5.2, 6.1, 7.0 and
# their PTX) come from NVRTC 12.9, which NVIDIA publishes on PyPI; tests/setup-machine.sh fetches
# it into build/cuda-nvrtc, where this file looks first (FRAMEDEC_NVRTC_LIBRARY names another). A
# build never drops an architecture: without NVRTC, configuring fails and says how to get it,
# unless the builder names a list that nvcc alone builds.
#
# framedec_device_code(FATBIN_VARIABLE) defines the target framedec_fatbin, sets the variable to
# the fatbin's path, and records the architectures it holds in FRAMEDEC_FATBIN_MACHINE_CODE and
# FRAMEDEC_FATBIN_PTX.

set(FRAMEDEC_GPU_ARCHITECTURES
    "52-real;61-real;70-real;75-real;80-real;86-real;89-real;90-real;100-real;110-real;120-real;52-virtual"
    CACHE STRING "CUDA architectures of the embedded device code (NN-real: machine code, NN-virtual: PTX, NN: both)")

# The oldest compute capability that nvcc 13 builds; NVRTC 12.9 builds the older ones.
set(FRAMEDEC_NVCC_OLDEST_ARCHITECTURE 75)

find_file(FRAMEDEC_NVRTC_LIBRARY NAMES libnvrtc.so.12 nvrtc64_120_0.dll
          HINTS ${PROJECT_SOURCE_DIR}/build/cuda-nvrtc/nvidia/cuda_nvrtc/lib
                ${PROJECT_SOURCE_DIR}/build/cuda-nvrtc/nvidia/cuda_nvrtc/bin
          NO_CMAKE_FIND_ROOT_PATH
          DOC "NVRTC 12.x, for the device code of architectures older than 7.5")
find_package(Python3 COMPONENTS Interpreter)

# Within framedec_device_code: adds the rule that builds arch's machine code (kind elf) or PTX
# (kind ptx) with nvcc, or with NVRTC for an architecture older than nvcc builds, and records the
# image; without NVRTC the architecture is only listed in `unbuildable`.
macro(_framedec_device_image arch kind)
  if("${kind}" STREQUAL "elf")
    set(_file ${out}/device_code.sm_${arch}.cubin)
    set(_nvcc_kind -cubin -arch=sm_${arch})
    set(_target_arch sm_${arch})
  else()
    set(_file ${out}/device_code.compute_${arch}.ptx)
    set(_nvcc_kind -ptx -arch=compute_${arch})
    set(_target_arch compute_${arch})
  endif()
  set(_built TRUE)
  if(${arch} GREATER_EQUAL FRAMEDEC_NVCC_OLDEST_ARCHITECTURE)
    add_custom_command(OUTPUT ${_file}
      COMMAND ${CUDAToolkit_NVCC_EXECUTABLE} ${_nvcc_kind} ${device_options} -I${PROJECT_SOURCE_DIR}/src
              -o ${_file} ${source}
      DEPENDS ${sources}
      COMMENT "Device code for ${_target_arch} (nvcc)" VERBATIM)
  elseif(nvrtc_ready)
    list(TRANSFORM device_options PREPEND --option= OUTPUT_VARIABLE _nvrtc_options)
    add_custom_command(OUTPUT ${_file}
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/nvrtc_compile.py
              --nvrtc ${FRAMEDEC_NVRTC_LIBRARY} --arch ${_target_arch} --include ${PROJECT_SOURCE_DIR}/src
              ${_nvrtc_options} --output ${_file} ${source}
      DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/nvrtc_compile.py
      COMMENT "Device code for ${_target_arch} (NVRTC)" VERBATIM)
  else()
    list(APPEND unbuildable ${_target_arch})
    set(_built FALSE)
  endif()
  if(_built)
    list(APPEND images --image3=kind=${kind},sm=${arch},file=${_file})
    list(APPEND outputs ${_file})
    list(APPEND built_${kind} ${arch})
  endif()
endmacro()

function(framedec_device_code fatbin_variable)
  set(kernel_dir ${PROJECT_SOURCE_DIR}/src/gpu/kernels)
  set(source ${kernel_dir}/device_code.cu)
  set(sources ${source} ${kernel_dir}/huffman.cu ${kernel_dir}/idct.cu ${kernel_dir}/device_compat.h
              ${PROJECT_SOURCE_DIR}/src/codec/zigzag.h ${PROJECT_SOURCE_DIR}/src/codec/quant_table_q.h)
  # Every product rounded before it is added (no fused multiply-add unless the source asks for one
  # with fmaf), so the host backend's build of the same source gives the same floats.
  set(device_options --fmad=false -std=c++17)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/device_code)
  file(MAKE_DIRECTORY ${out})

  set(nvrtc_ready FALSE)
  if(FRAMEDEC_NVRTC_LIBRARY AND EXISTS "${FRAMEDEC_NVRTC_LIBRARY}" AND Python3_Interpreter_FOUND)
    set(nvrtc_ready TRUE)
  endif()

  set(images "")
  set(outputs "")
  set(built_elf "")
  set(built_ptx "")
  set(unbuildable "")
  foreach(entry IN LISTS FRAMEDEC_GPU_ARCHITECTURES)
    if(NOT entry MATCHES "^([0-9]+)(-real|-virtual)?$")
      message(FATAL_ERROR "FRAMEDEC_GPU_ARCHITECTURES: '${entry}' is not NN, NN-real or NN-virtual")
    endif()
    set(arch ${CMAKE_MATCH_1})
    set(suffix "${CMAKE_MATCH_2}")
    if(NOT suffix STREQUAL "-virtual")
      _framedec_device_image(${arch} elf)
    endif()
    if(NOT suffix STREQUAL "-real")
      _framedec_device_image(${arch} ptx)
    endif()
  endforeach()

  if(unbuildable)
    list(JOIN unbuildable " " unbuildable)
    math(EXPR major "${FRAMEDEC_NVCC_OLDEST_ARCHITECTURE} / 10")
    math(EXPR minor "${FRAMEDEC_NVCC_OLDEST_ARCHITECTURE} % 10")
    message(FATAL_ERROR "The device code for ${unbuildable} (GPUs older than compute capability ${major}.${minor}) "
                        "needs NVRTC 12.9, driven by Python 3, and one of them was not found. Fetch NVRTC into build/cuda-nvrtc "
                        "with 'bash tests/setup-machine.sh nvrtc' from the source tree (or set "
                        "FRAMEDEC_NVRTC_LIBRARY to a libnvrtc.so.12) and configure again; or name the "
                        "architectures to build, e.g. -DFRAMEDEC_GPU_ARCHITECTURES=\"75-real;80-real;86-real;"
                        "89-real;90-real;100-real;110-real;120-real;75-virtual\", and the library runs on "
                        "those GPUs only.")
  endif()
  if(NOT images)
    message(FATAL_ERROR "FRAMEDEC_GPU_ARCHITECTURES leaves no device code to build")
  endif()

  set(fatbin ${out}/framedec.fatbin)
  add_custom_command(OUTPUT ${fatbin}
    COMMAND ${CUDAToolkit_BIN_DIR}/fatbinary --create=${fatbin} -64 ${images}
    DEPENDS ${outputs}
    COMMENT "One fatbin of the device code" VERBATIM)
  add_custom_target(framedec_fatbin DEPENDS ${fatbin})
  set(${fatbin_variable} ${fatbin} PARENT_SCOPE)
  # What the fatbin holds, for the device-code test: compute capabilities, e.g. "52;61;75".
  set(FRAMEDEC_FATBIN_MACHINE_CODE "${built_elf}" CACHE INTERNAL "")
  set(FRAMEDEC_FATBIN_PTX "${built_ptx}" CACHE INTERNAL "")
endfunction()
