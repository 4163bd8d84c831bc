target_sources(kestrel_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/netutils.cpp ${CMAKE_CURRENT_LIST_DIR}/netutils.h)
