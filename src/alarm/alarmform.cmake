target_sources(kestrel_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/alarmform.cpp ${CMAKE_CURRENT_LIST_DIR}/alarmform.h)
qt_add_resources(kestrel_ui "alarm" PREFIX "/alarm" BASE ${PROJECT_SOURCE_DIR}/resources/alarm
  FILES ${PROJECT_SOURCE_DIR}/resources/alarm/alarm.svg)
