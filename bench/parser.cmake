kestrel_add_bench(bench_parser SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_parser.cpp LIBS kestrel_core)
