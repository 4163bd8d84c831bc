target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/sound.cpp ${CMAKE_CURRENT_LIST_DIR}/sound.h)
target_link_libraries(kestrel_platform PUBLIC Qt6::Multimedia)
