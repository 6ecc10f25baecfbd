# Hardened binaries on every platform (compilers of the GCC family), for every target:
# - stack protection of the functions that hold arrays or address-taken locals;
# - the C library's checked string, memory and formatting functions where the compiler knows the
#   sizes (_FORTIFY_SOURCE=2), in optimised builds only (it needs the optimiser) and not with the
#   sanitizers, whose interceptors replace those functions;
# - on Linux, full RELRO with immediate binding: every symbol is resolved at start-up, and the
#   relocated tables (the GOT among them) are then made read-only.
# MinGW takes the checks' run-time part from libssp, linked statically like the rest.

# Installed binaries carry neither symbols nor debug information, from `cmake --install` as in every
# package; the build tree keeps both for debugging.
install(CODE "set(CMAKE_INSTALL_DO_STRIP TRUE)" ALL_COMPONENTS)

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
if(NOT FRAMEDEC_SANITIZE)
  # Undefined first: some compilers define it already, and a second definition is a warning.
  add_compile_options(
    "$<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<CONFIG:Release,RelWithDebInfo,MinSizeRel>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
if(MINGW)
  add_link_options(-fstack-protector-strong)
elseif(NOT APPLE)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
