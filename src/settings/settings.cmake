target_sources(kestrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/profile.cpp ${CMAKE_CURRENT_LIST_DIR}/profile.h
  ${CMAKE_CURRENT_LIST_DIR}/scrambler.cpp ${CMAKE_CURRENT_LIST_DIR}/scrambler.h
  ${CMAKE_CURRENT_LIST_DIR}/fonttext.cpp ${CMAKE_CURRENT_LIST_DIR}/fonttext.h
  ${CMAKE_CURRENT_LIST_DIR}/hotkeytext.cpp ${CMAKE_CURRENT_LIST_DIR}/hotkeytext.h
  ${CMAKE_CURRENT_LIST_DIR}/settingsload.cpp ${CMAKE_CURRENT_LIST_DIR}/settingsload.h)
