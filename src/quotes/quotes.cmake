target_sources(kestrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ratespage.cpp ${CMAKE_CURRENT_LIST_DIR}/ratespage.h
  ${CMAKE_CURRENT_LIST_DIR}/quotelines.cpp ${CMAKE_CURRENT_LIST_DIR}/quotelines.h)
