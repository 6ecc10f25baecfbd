# What a Windows user receives: the installed tree and the ZIP package hold exactly the DLL, the
# tool, the header, both import libraries, the CMake package, the C# files, the demo image and the
# third-party notices, and the installed DLL (read by objdump) exports exactly the interface and
# imports only kernel32, advapi32 and msvcrt; framedec.lib has the short import members of
# Microsoft's format.
# Arguments: BUILD_DIR, WORK_DIR, OBJDUMP, VERSION (the project's, in the ZIP file's name), GPU (ON
# when the DLL has the GPU path: then the package also says which NVIDIA file to ship beside it).
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

include("${CMAKE_CURRENT_LIST_DIR}/run_command.cmake")

# The CMake package's per-configuration file is named after the build type.
function(check_files what actual)
  set(expected bin/framedec.dll bin/framedec.exe include/framedec.h lib/framedec.lib lib/libframedec.dll.a
      lib/cmake/framedec/framedecConfig.cmake lib/cmake/framedec/framedecConfigVersion.cmake
      lib/cmake/framedec/framedecTargets.cmake share/framedec/astronaut.pgm share/framedec/Framedec.cs
      share/framedec/FramedecUnsafe.cs share/framedec/Framedec.dll.config THIRD-PARTY-NOTICES.txt)
  if(GPU)
    list(APPEND expected bin/README-GPU.txt)
  endif()
  list(FILTER actual EXCLUDE REGEX "^lib/cmake/framedec/framedecTargets-[a-z]+\\.cmake$")
  list(SORT actual)
  list(SORT expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what} holds\n  ${actual}\ninstead of\n  ${expected}")
  endif()
  message(STATUS "${what}: ${actual}")
endfunction()

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
file(GLOB_RECURSE installed RELATIVE "${prefix}" "${prefix}/*")
check_files("installed tree" "${installed}")

run("${CMAKE_CPACK_COMMAND}" --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}/package")
file(GLOB zip "${WORK_DIR}/package/*.zip")
if(NOT zip STREQUAL "${WORK_DIR}/package/framedec-${VERSION}-windows-x86_64.zip")
  message(FATAL_ERROR "cpack made ${zip} instead of one framedec-${VERSION}-windows-x86_64.zip")
endif()
run("${CMAKE_COMMAND}" -E tar tf "${zip}")
string(REPLACE "\n" ";" entries "${output}")
set(zipped)
foreach(entry IN LISTS entries)
  # Entries lie in one top-level folder named after the package; folders have entries of their own.
  if(entry MATCHES "^[^/]+/(.+[^/])$")
    list(APPEND zipped "${CMAKE_MATCH_1}")
  endif()
endforeach()
check_files("${zip}" "${zipped}")

run("${OBJDUMP}" -p "${prefix}/bin/framedec.dll")
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${output}")
string(REGEX REPLACE "DLL Name: " "" imports "${imports}")
string(TOLOWER "${imports}" imports)
list(SORT imports)
if(NOT imports STREQUAL "advapi32.dll;kernel32.dll;msvcrt.dll")
  message(FATAL_ERROR "framedec.dll imports ${imports}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${output}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z]+" exports "${table}")
string(REGEX REPLACE "\\[ *[0-9]+\\] " "" exports "${exports}")
list(SORT exports)
set(interface DecodeData DecodeDataMultiThread DecodeDCTData DecodeDCData ExtractSequenceNo GetAvailableGPUProcess
    SetupGPUDecode DecodeGPU TeardownGPUDecode IsSetupGPUDecode GetGPULastError NvOptimusEnablementCuda)
list(SORT interface)
if(NOT exports STREQUAL interface)
  message(FATAL_ERROR "framedec.dll exports\n  ${exports}\ninstead of\n  ${interface}")
endif()
message(STATUS "framedec.dll imports ${imports} and exports ${exports}")

# framedec.lib in the format of Microsoft's lib.exe: one short import member per export (objdump
# reads those as "pei" files), not the long COFF objects of MinGW's dlltool.
run("${OBJDUMP}" -a "${prefix}/lib/framedec.lib")
string(REGEX MATCHALL "file format pei-x86-64" short_members "${output}")
list(LENGTH short_members short_members)
list(LENGTH interface exported)
if(NOT short_members EQUAL exported)
  message(FATAL_ERROR "framedec.lib holds ${short_members} short import members, not ${exported}:\n${output}")
endif()
message(STATUS "framedec.lib: ${short_members} short import members")
