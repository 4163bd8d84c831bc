target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/fakewindowservices.cpp ${CMAKE_CURRENT_LIST_DIR}/fakewindowservices.h)
