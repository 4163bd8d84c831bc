kestrel_add_test(test_quoted SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_quoted.cpp
  LIBS kestrel_core PkgConfig::HTTPLIB Threads::Threads LABELS net TIMEOUT 60)
add_dependencies(test_quoted kestrel-quoted)
