kestrel_add_test(test_online SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_online.cpp LIBS kestrel_platform)
