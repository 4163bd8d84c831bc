target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/fakesound.cpp ${CMAKE_CURRENT_LIST_DIR}/fakesound.h)
