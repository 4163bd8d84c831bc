# kestrel_add_bench(NAME SOURCES src... LIBS lib...)
function(kestrel_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_compile_definitions(${name} PRIVATE KESTREL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    KESTREL_BINARY_DIR="${PROJECT_BINARY_DIR}")
endfunction()
