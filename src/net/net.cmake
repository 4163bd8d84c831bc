target_sources(kestrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/httpclient.cpp ${CMAKE_CURRENT_LIST_DIR}/httpclient.h
  ${CMAKE_CURRENT_LIST_DIR}/transfer.cpp ${CMAKE_CURRENT_LIST_DIR}/transfer.h
  ${CMAKE_CURRENT_LIST_DIR}/workerthread.cpp ${CMAKE_CURRENT_LIST_DIR}/workerthread.h)
