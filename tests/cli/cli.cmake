kestrel_add_test(test_cli SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_cli.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../app/quoteserver.h
  LIBS kestrel_platform LABELS cli TIMEOUT 120)
add_dependencies(test_cli kestrel)
if(TARGET kestrel-quoted)
  add_dependencies(test_cli kestrel-quoted)
endif()
