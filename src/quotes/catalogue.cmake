target_sources(kestrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/catalogue.cpp ${CMAKE_CURRENT_LIST_DIR}/catalogue.h)
