add_executable(idle_floor ${CMAKE_CURRENT_LIST_DIR}/idle_floor.cpp)
target_link_libraries(idle_floor PRIVATE Qt6::Widgets)
