kestrel_add_fuzzer(fuzz_parser SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_parser.cpp LIBS kestrel_core)
