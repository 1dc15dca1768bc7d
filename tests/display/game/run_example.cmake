# Runs the example game through the executable, headless for a few frames
# with a screenshot, and checks that it ends cleanly and leaves the picture.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(
  COMMAND ${ZENTROVEX} run --headless --frames 30 --screenshot ${WORK}/shot.png ${PROGRAM}
  WORKING_DIRECTORY ${WORK}
  OUTPUT_VARIABLE printed
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 50)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the game ended with status ${status}\n--- standard error\n${errors}")
endif()
# The game draws everything it shows; it prints nothing to the console.
if(NOT printed STREQUAL "")
  message(FATAL_ERROR "the game printed\n${printed}")
endif()
if(NOT EXISTS ${WORK}/shot.png)
  message(FATAL_ERROR "no screenshot was written")
endif()
file(SIZE ${WORK}/shot.png size)
if(size LESS 3000)
  message(FATAL_ERROR "the screenshot is only ${size} bytes: a blank frame?")
endif()
file(REMOVE_RECURSE ${WORK})
