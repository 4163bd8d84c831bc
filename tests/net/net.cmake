kestrel_add_test(test_workerthread SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_workerthread.cpp
  LIBS kestrel_core LABELS net TIMEOUT 60)
