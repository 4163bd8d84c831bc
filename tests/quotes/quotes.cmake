kestrel_add_test(test_ratespage SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_ratespage.cpp
  LIBS kestrel_core)
kestrel_add_test(test_quotelines SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_quotelines.cpp
  LIBS kestrel_core)
