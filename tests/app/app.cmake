kestrel_add_test(test_mainform SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_mainform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pageserver.h
  LIBS kestrel_ui PkgConfig::HTTPLIB Threads::Threads LABELS gui TIMEOUT 180)
target_include_directories(test_mainform PRIVATE ${CMAKE_CURRENT_LIST_DIR})

kestrel_add_test(test_tilebackground SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_tilebackground.cpp
  LIBS kestrel_ui)
