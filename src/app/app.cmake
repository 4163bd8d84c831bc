target_sources(kestrel_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/aboutform.cpp ${CMAKE_CURRENT_LIST_DIR}/aboutform.h
  ${CMAKE_CURRENT_LIST_DIR}/errorreport.cpp ${CMAKE_CURRENT_LIST_DIR}/errorreport.h
  ${CMAKE_CURRENT_LIST_DIR}/mainform.cpp ${CMAKE_CURRENT_LIST_DIR}/mainform.h
  ${CMAKE_CURRENT_LIST_DIR}/session.cpp ${CMAKE_CURRENT_LIST_DIR}/session.h)

add_executable(kestrel ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli.cpp ${CMAKE_CURRENT_LIST_DIR}/cli.h)
target_link_libraries(kestrel PRIVATE kestrel_ui)
