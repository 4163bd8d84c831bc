kestrel_add_test(test_netutils SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_netutils.cpp
  ${PROJECT_SOURCE_DIR}/tests/data/netutils.qrc LIBS kestrel_core)
