# The packages CPack makes from the installed tree (`cpack --config <build>/CPackConfig.cmake`),
# into <build>/package:
# - Windows: one ZIP file, framedec-<version>-windows-x86_64.zip, with every component.
# - Linux: three Debian packages, from a build configured for /usr (the debian preset):
#   libframedec<soversion> (the runtime component), libframedec-dev (development) and
#   framedec-tools (tools). Their dependencies on other packages come from dpkg-shlibdeps.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_PACKAGE_VENDOR "framedec developers")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME framedec-${PROJECT_VERSION}-windows-x86_64)
  include(CPack)
  return()
endif()

set(FRAMEDEC_DEBIAN_MAINTAINER "framedec developers <framedec@example.com>" CACHE STRING
    "Maintainer field of the Debian packages: name <address>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENTS_ALL runtime development tools)
# The packages' files are installed under CMAKE_INSTALL_PREFIX itself (into a staging folder given
# as DESTDIR), so that framedec.pc names /usr rather than the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FRAMEDEC_DEBIAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool's library is not installed here: dpkg-shlibdeps finds it in the build tree (and the tool's
# package depends on the library's package by name and version).
get_target_property(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS framedec BINARY_DIR)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libframedec${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The shlibs file that lets other packages' dpkg-shlibdeps name this one, and the trigger that
# runs ldconfig when the library is installed or removed.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "The shared library libframedec turns the camera's compressed greyscale
frames into 8-bit pixels, DCT coefficients or a 1/8-scale preview: on the
calling thread, on a pool of worker threads or on an NVIDIA GPU, through
eleven plain C functions.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libframedec-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "The development files of libframedec: the C header framedec.h,
the CMake package (find_package(framedec)) and the pkg-config file
(pkg-config --cflags --libs framedec) for building programs against it.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME framedec-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION graphics)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "The framedec command-line tool makes, decodes and inspects the camera's
compressed frames and recordings: it converts recordings to TIFF stacks or
PNG sequences, and its demo decodes a test photograph in every mode.")

# Each package's /usr/share/doc/<package>: the copyright notice, the third-party notices and a
# changelog with this version's entries of CHANGELOG.md. Installed only into the packages (a
# component's own install).
include(${CMAKE_CURRENT_LIST_DIR}/debian_changelog.cmake)
framedec_debian_changelog(${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${doc_dir} COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${PROJECT_SOURCE_DIR}/cmake/THIRD-PARTY-NOTICES.txt
          DESTINATION ${doc_dir} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
include(CPack)
