target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/hotkey.cpp ${CMAKE_CURRENT_LIST_DIR}/hotkey.h
  ${CMAKE_CURRENT_LIST_DIR}/hotkeylock.cpp ${CMAKE_CURRENT_LIST_DIR}/hotkeylock.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/x11hotkey.cpp ${CMAKE_CURRENT_LIST_DIR}/linux/x11hotkey.h)
