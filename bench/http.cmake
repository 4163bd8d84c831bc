kestrel_add_bench(bench_http SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_http.cpp
  LIBS kestrel_platform PkgConfig::CURL PkgConfig::HTTPLIB Threads::Threads)
