kestrel_add_test(test_iconlist SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_iconlist.cpp LIBS kestrel_core)
kestrel_add_test(test_trayicon SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_trayicon.cpp LIBS kestrel_ui)
