# Runs one BASIC program headless and compares its standard output with the
# expected file. The program runs in WORK_DIR, emptied first, so the files
# it writes stay out of the source tree. Line ends of the expected file
# may be LF or CR LF. With EXPECTED_ERRORS, that file's text (without its
# last line end) must appear in standard error. A NAME.frames holds the
# most frames the run may show (a program that would hang ends at once).
file(REMOVE_RECURSE ${WORK_DIR} ${WORK_DIR}-config)
file(MAKE_DIRECTORY ${WORK_DIR})
# The registry's values stay out of the user's own config folder.
set(ENV{XDG_CONFIG_HOME} ${WORK_DIR}-config)
string(REGEX REPLACE "kqa$" "frames" frames_file ${PROGRAM})
if(EXISTS ${frames_file})
  file(STRINGS ${frames_file} frames LIMIT_COUNT 1)
  set(frames_option --frames ${frames})
endif()
execute_process(
  COMMAND ${ZENTROVEX} run --headless ${frames_option} ${PROGRAM}
  WORKING_DIRECTORY ${WORK_DIR}
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
if(DEFINED EXPECTED_ERRORS)
  file(READ ${EXPECTED_ERRORS} expected_errors)
  string(REGEX REPLACE "\r?\n$" "" expected_errors "${expected_errors}")
  string(FIND "${errors}" "${expected_errors}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR
      "standard error of ${PROGRAM} lacks the expected text\n"
      "--- expected in it\n${expected_errors}\n--- standard error\n${errors}")
  endif()
endif()
