# Runs one BASIC program headless in its own folder and compares its
# standard output with the expected file. Line ends of the expected file
# may be LF or CR LF.
execute_process(
  COMMAND ${ZENTROVEX} run --headless ${PROGRAM}
  WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}
  OUTPUT_VARIABLE actual
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 50)
file(READ ${EXPECTED} expected)
string(REPLACE "\r\n" "\n" expected "${expected}")
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR
    "output of ${PROGRAM} differs (exit status ${status})\n"
    "--- expected\n${expected}\n--- actual\n${actual}\n--- standard error\n${errors}")
endif()
