find_package(Qt6 REQUIRED COMPONENTS DBus)
target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/trayshell.cpp ${CMAKE_CURRENT_LIST_DIR}/trayshell.h)
# QSystemTrayIcon lives in Qt Widgets; D-Bus tells which kind of tray host Qt talks to.
target_link_libraries(kestrel_platform PUBLIC Qt6::Widgets PRIVATE Qt6::DBus)
