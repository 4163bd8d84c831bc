kestrel_add_test(test_profile SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_profile.cpp LIBS kestrel_core)
