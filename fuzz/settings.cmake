kestrel_add_fuzzer(fuzz_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_settings.cpp LIBS kestrel_core)
