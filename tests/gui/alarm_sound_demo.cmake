# Not a ctest test: tests/gui/alarm-sound.sh runs it against a PulseAudio null sink.
add_executable(alarm_sound_demo ${CMAKE_CURRENT_LIST_DIR}/alarm_sound_demo.cpp)
target_link_libraries(alarm_sound_demo PRIVATE kestrel_ui)
