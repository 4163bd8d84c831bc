target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/fonts.cpp ${CMAKE_CURRENT_LIST_DIR}/fonts.h
  ${CMAKE_CURRENT_LIST_DIR}/programfiles.cpp ${CMAKE_CURRENT_LIST_DIR}/programfiles.h)
