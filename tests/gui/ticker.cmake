# The ticker binary itself under Xvfb and openbox, driven with xdotool.
kestrel_add_test(test_ticker_x11 SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_ticker_x11.cpp
  LIBS kestrel_core LABELS gui TIMEOUT 60)
add_dependencies(test_ticker_x11 kestrel kestrel-quoted)
