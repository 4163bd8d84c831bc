# kestrel_add_library(NAME [STATIC|OBJECT] sources...)
# One library per folder of src/: its includes name files from src/ ("net/httpclient.h"), and the
# headers CMake generates (version.h, builddate.h) are found the same way.
function(kestrel_add_library name kind)
  add_library(${name} ${kind} ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src
    ${PROJECT_BINARY_DIR}/src/generated)
  if(kind STREQUAL "OBJECT")
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
endfunction()

# kestrel_module(TARGET): a module the program loads when it first needs it, built where the
# package installs it (lib/kestrel/, at the same place relative to bin/ in the build tree), so the
# program finds it beside itself either way. Whatever links the platform library can load it as
# soon as it is built.
function(kestrel_module target)
  set_target_properties(${target} PROPERTIES PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/${KESTREL_MODULE_DIR})
  target_link_options(${target} PRIVATE -Wl,-z,relro,-z,now)
  add_dependencies(kestrel_platform ${target})
  install(TARGETS ${target} LIBRARY DESTINATION ${KESTREL_MODULE_DIR})
endfunction()
