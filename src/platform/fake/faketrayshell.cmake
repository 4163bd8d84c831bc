target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/faketrayshell.cpp ${CMAKE_CURRENT_LIST_DIR}/faketrayshell.h)
