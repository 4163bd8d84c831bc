target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/curltransfer.cpp ${CMAKE_CURRENT_LIST_DIR}/curltransfer.h)
