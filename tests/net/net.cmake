kestrel_add_test(test_workerthread SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_workerthread.cpp
  LIBS kestrel_core LABELS net TIMEOUT 60)
kestrel_add_test(test_httpclient SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_httpclient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_server.h LIBS kestrel_platform PkgConfig::HTTPLIB Threads::Threads LABELS net TIMEOUT 60)
