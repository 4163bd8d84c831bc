target_sources(kestrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/messages.cpp ${CMAKE_CURRENT_LIST_DIR}/messages.h)
