# cmake -DLUPDATE=... -DSOURCE_DIR=... -DTS=... -DWORK=... -P complete.cmake
# Runs lupdate over the program's sources into a copy of the translation file TS and fails,
# naming them, when an entry is new (not in TS) or unfinished.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
cmake_path(GET TS FILENAME name)
set(copy ${WORK}/${name})
file(COPY_FILE ${TS} ${copy})
execute_process(
  COMMAND ${LUPDATE} -silent -locations none -no-obsolete -I ${SOURCE_DIR}/src ${SOURCE_DIR}/src
          ${SOURCE_DIR}/apps
          -ts ${copy}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${status})")
endif()
file(READ ${copy} text)
string(REGEX MATCHALL "<source>[^<]*</source>[ \t\r\n]*(<comment>[^<]*</comment>[ \t\r\n]*)?<translation type=\"(unfinished|vanished|obsolete)\""
       open "${text}")
if(open)
  set(list "")
  foreach(entry IN LISTS open)
    string(REGEX REPLACE "^<source>([^<]*)</source>.*" "\\1" source "${entry}")
    string(APPEND list "\n  ${source}")
  endforeach()
  list(LENGTH open count)
  message(FATAL_ERROR "${count} entries of ${name} are new or unfinished; run lupdate and "
                      "translate them:${list}")
endif()
