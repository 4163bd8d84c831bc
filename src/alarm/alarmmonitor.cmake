target_sources(kestrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/alarmmonitor.cpp ${CMAKE_CURRENT_LIST_DIR}/alarmmonitor.h)
