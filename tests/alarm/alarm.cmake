kestrel_add_test(test_alarmmonitor SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alarmmonitor.cpp
  LIBS kestrel_core)
kestrel_add_test(test_alarmform SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alarmform.cpp
  LIBS kestrel_ui)
