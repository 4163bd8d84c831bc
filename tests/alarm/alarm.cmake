kestrel_add_test(test_alarmmonitor SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alarmmonitor.cpp
  LIBS kestrel_core)
