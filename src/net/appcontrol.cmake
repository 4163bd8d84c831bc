target_sources(kestrel_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/appcontrol.cpp ${CMAKE_CURRENT_LIST_DIR}/appcontrol.h)
