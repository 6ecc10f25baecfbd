# The Debian packages as a user receives them: the library and the tool built for /usr (the debian
# preset, with the GPU backend GPU_BACKEND) and packed by CPack; each package's name, version,
# dependencies and files checked; lintian run over them (errors fail, warnings are listed); then
# unpacked into a scratch root (never installed on this machine), where the pkg-config consumer
# builds and runs against the packaged header and library, and the packaged tool runs.
# Arguments: SOURCE_DIR, WORK_DIR, GPU_BACKEND, C_COMPILER, VERSION, SOVERSION.
file(REMOVE_RECURSE "${WORK_DIR}")
set(build "${WORK_DIR}/build")
set(packages "${WORK_DIR}/packages")
set(root "${WORK_DIR}/root")

include("${CMAKE_CURRENT_LIST_DIR}/run_command.cmake")

execute_process(COMMAND "${CMAKE_COMMAND}" --preset debian -B "${build}" -DFRAMEDEC_GPU_BACKEND=${GPU_BACKEND}
                WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${build}" -j 2 OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${CMAKE_CPACK_COMMAND}" --config "${build}/CPackConfig.cmake" -B "${packages}"
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(STRINGS "${build}/CMakeCache.txt" libdir REGEX "^CMAKE_INSTALL_LIBDIR:")
string(REGEX REPLACE "^[^=]*=" "" libdir "${libdir}")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture OUTPUT_STRIP_TRAILING_WHITESPACE)

# Each package: its name, what its Depends field must hold, and its files and links.
set(runtime_package libframedec${SOVERSION})
set(runtime_depends "libc6 \\(>= [^)]+\\)" "libstdc\\+\\+6 \\(>= [^)]+\\)")
set(runtime_files usr/${libdir}/libframedec.so.${VERSION} usr/${libdir}/libframedec.so.${SOVERSION})
set(development_package libframedec-dev)
set(development_depends "${runtime_package} \\(= ${VERSION}\\)")
set(development_files usr/include/framedec.h usr/${libdir}/libframedec.so usr/${libdir}/pkgconfig/framedec.pc
    usr/${libdir}/cmake/framedec/framedecConfig.cmake usr/${libdir}/cmake/framedec/framedecConfigVersion.cmake
    usr/${libdir}/cmake/framedec/framedecTargets.cmake usr/${libdir}/cmake/framedec/framedecTargets-release.cmake
    usr/share/framedec/Framedec.cs usr/share/framedec/FramedecUnsafe.cs usr/share/framedec/Framedec.dll.config)
set(tools_package framedec-tools)
set(tools_depends "${runtime_package} \\(= ${VERSION}\\)" "libc6 \\(>= [^)]+\\)")
set(tools_files usr/bin/framedec usr/share/framedec/astronaut.pgm usr/share/man/man1/framedec.1.gz)

set(debs)
foreach(component runtime development tools)
  set(package ${${component}_package})
  set(deb "${packages}/${package}_${VERSION}_${architecture}.deb")
  if(NOT EXISTS "${deb}")
    file(GLOB made "${packages}/*.deb")
    message(FATAL_ERROR "no ${deb}; cpack made ${made}")
  endif()
  list(APPEND debs "${deb}")
  run(dpkg-deb --field "${deb}" Depends)
  string(STRIP "${output}" depends_field)
  foreach(depends IN LISTS ${component}_depends)
    if(NOT depends_field MATCHES "(^|, )${depends}(,|$)")
      message(FATAL_ERROR "${package} depends on ${depends_field}, without ${depends}")
    endif()
  endforeach()
  run(dpkg-deb --contents "${deb}")
  string(REGEX MATCHALL "[^\n]*\n" lines "${output}")
  set(files)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[-l][^\n]* \\./([^\n]+)\n$")  # files and links, not folders
      string(REGEX REPLACE " -> .*" "" path "${CMAKE_MATCH_1}")
      list(APPEND files "${path}")
    endif()
  endforeach()
  set(expected ${${component}_files} usr/share/doc/${package}/changelog.gz usr/share/doc/${package}/copyright
      usr/share/doc/${package}/THIRD-PARTY-NOTICES.txt)
  list(SORT files)
  list(SORT expected)
  if(NOT files STREQUAL expected)
    message(FATAL_ERROR "${package} holds\n  ${files}\ninstead of\n  ${expected}")
  endif()
  message(STATUS "${package} ${VERSION}: ${files}\n  Depends: ${depends_field}")
  run(dpkg -x "${deb}" "${root}")
endforeach()

# The library's file name and SONAME carry the version.
run(objdump -p "${root}/usr/${libdir}/libframedec.so.${VERSION}")
if(NOT output MATCHES "SONAME +libframedec\\.so\\.${SOVERSION}\n")
  message(FATAL_ERROR "libframedec.so.${VERSION} has no SONAME libframedec.so.${SOVERSION}:\n${output}")
endif()

execute_process(COMMAND lintian --tag-display-limit 0 ${debs} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "lintian:\n${out}${err}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "lintian found errors in the packages")
endif()
if(out MATCHES "no-manual-page")
  message(FATAL_ERROR "lintian finds no manual page for the packaged tool")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/consumer/pkg_config_consumer.cmake)
run_pkg_config_consumer("${WORK_DIR}/consumer" "${root}/usr/${libdir}/pkgconfig" "${root}" "${root}/usr/${libdir}")

# The packaged tool, from a folder of its own, with the packaged library and demo image.
set(tool env "LD_LIBRARY_PATH=${root}/usr/${libdir}" "${root}/usr/bin/framedec")
run(${tool} --version)
if(NOT output STREQUAL "framedec ${VERSION}\n")
  message(FATAL_ERROR "the packaged framedec --version printed '${output}'")
endif()
file(MAKE_DIRECTORY "${WORK_DIR}/run")
execute_process(COMMAND ${tool} demo --runs 1 WORKING_DIRECTORY "${WORK_DIR}/run"
                OUTPUT_VARIABLE out COMMAND_ERROR_IS_FATAL ANY)
if(NOT out MATCHES "source: ${root}/usr/share/framedec/astronaut.pgm")
  message(FATAL_ERROR "the packaged framedec demo did not use the packaged image:\n${out}")
endif()
message(STATUS "packaged framedec --version and demo: ok")

# The packaged manual page names every command that the packaged tool lists.
run(${tool} --help)
string(REGEX MATCHALL "\n  [a-z]+ " commands "${output}")
execute_process(COMMAND gzip -dc "${root}/usr/share/man/man1/framedec.1.gz" OUTPUT_VARIABLE page COMMAND_ERROR_IS_FATAL ANY)
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  if(NOT page MATCHES "\n\\.SS ${command}\n")
    message(FATAL_ERROR "the packaged manual page has no section for '${command}'")
  endif()
endforeach()
message(STATUS "packaged manual page: a section for each command")
