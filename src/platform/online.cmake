target_sources(kestrel_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/online.cpp ${CMAKE_CURRENT_LIST_DIR}/online.h)
