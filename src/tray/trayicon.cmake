target_sources(kestrel_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/trayicon.cpp ${CMAKE_CURRENT_LIST_DIR}/trayicon.h)
qt_add_resources(kestrel_ui "icons" PREFIX "/icons" BASE ${PROJECT_SOURCE_DIR}/resources/icons
  FILES ${PROJECT_SOURCE_DIR}/resources/icons/kestrel.svg
        ${PROJECT_SOURCE_DIR}/resources/icons/tray-normal.svg
        ${PROJECT_SOURCE_DIR}/resources/icons/tray-grey.svg)
