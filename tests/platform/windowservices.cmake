kestrel_add_test(test_windowservices SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_windowservices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xserver.h LIBS kestrel_platform PkgConfig::XCB TIMEOUT 90)
