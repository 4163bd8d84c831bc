target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/fakehotkey.cpp ${CMAKE_CURRENT_LIST_DIR}/fakehotkey.h)
