# Runs every example program of one help family headless:
#   cmake -DZENTROVEX=exe -DEXAMPLES=dir -DFAMILY=name -DWORK=dir -P run_help_examples.cmake
# Each runs in an empty working folder for 30 frames and must end with
# status 0. Examples that need a device or a server the test machine lacks
# are skipped.
file(GLOB examples "${EXAMPLES}/${FAMILY}_*.kqa")
list(SORT examples)
set(failed "")
set(ran 0)
foreach(example IN LISTS examples)
  file(READ "${example}" text)
  if(text MATCHES "record sound|ftp connect|net game|net sessions")
    message(STATUS "skipped (needs a device or a server): ${example}")
    continue()
  endif()
  file(REMOVE_RECURSE "${WORK}")
  file(MAKE_DIRECTORY "${WORK}")
  execute_process(
    COMMAND "${ZENTROVEX}" run --headless --frames 30 "${example}"
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE errors
    TIMEOUT 60)
  math(EXPR ran "${ran} + 1")
  if(NOT status EQUAL 0)
    string(APPEND failed "${example}: status ${status}\n${output}${errors}\n")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
if(failed)
  message(FATAL_ERROR "example programs failed:\n${failed}")
endif()
message(STATUS "${ran} example programs of ${FAMILY} ran")
