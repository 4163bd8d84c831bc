kestrel_add_test(test_ratespage SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_ratespage.cpp
  LIBS kestrel_core)
