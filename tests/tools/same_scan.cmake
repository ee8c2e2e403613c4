# tessel-scan --full gives the same output for two files (the same world in
# two encodings), and neither warns.
foreach(file IN ITEMS ${FIRST} ${SECOND})
  execute_process(COMMAND ${SCAN} --full ${file} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
    message(FATAL_ERROR "tessel-scan --full ${file} failed (${rc}) or warned:\n${err}")
  endif()
  list(APPEND outputs "${out}")
endforeach()
list(GET outputs 0 first)
list(GET outputs 1 second)
if(NOT first STREQUAL second)
  message(FATAL_ERROR "${FIRST}:\n${first}\n${SECOND}:\n${second}")
endif()
