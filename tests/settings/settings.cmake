kestrel_add_test(test_profile SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_profile.cpp LIBS kestrel_core)
kestrel_add_test(test_scrambler SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scrambler.cpp LIBS kestrel_core)
kestrel_add_test(test_fonttext SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_fonttext.cpp LIBS kestrel_core)
kestrel_add_test(test_hotkeytext SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_hotkeytext.cpp LIBS kestrel_core)
