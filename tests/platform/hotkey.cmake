kestrel_add_test(test_hotkey SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_hotkey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xserver.h LIBS kestrel_platform PkgConfig::XCB TIMEOUT 90)
