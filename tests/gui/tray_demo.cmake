add_executable(tray_demo ${CMAKE_CURRENT_LIST_DIR}/tray_demo.cpp)
target_link_libraries(tray_demo PRIVATE kestrel_ui)
