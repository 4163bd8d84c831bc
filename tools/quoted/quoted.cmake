add_executable(kestrel-quoted ${CMAKE_CURRENT_LIST_DIR}/quoted.cpp)
target_link_libraries(kestrel-quoted PRIVATE kestrel_core PkgConfig::HTTPLIB Threads::Threads)
