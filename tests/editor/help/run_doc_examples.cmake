# Every example program a document names exists and runs headless:
#   cmake -DZENTROVEX=exe -DDOC=file.md -DWORK=dir -P run_doc_examples.cmake
# A name is a path ending in ".kqa" with a folder in it, read from the
# document's folder as its links are. Each program runs in an empty working
# folder for 30 frames and must end with status 0; those that need a device
# or a server the test machine lacks only have to exist.
file(READ "${DOC}" doc_text)
get_filename_component(doc_folder "${DOC}" DIRECTORY)
string(REGEX MATCHALL "[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*/[A-Za-z0-9_.-]+\\.kqa" names "${doc_text}")
list(REMOVE_DUPLICATES names)
# The registry's values stay out of the user's own config folder.
set(ENV{XDG_CONFIG_HOME} "${WORK}-config")
set(failed "")
set(ran 0)
foreach(name IN LISTS names)
  set(example "${doc_folder}/${name}")
  if(NOT EXISTS "${example}")
    string(APPEND failed "${name}: named by ${DOC}, but there is no such file\n")
    continue()
  endif()
  file(READ "${example}" text)
  if(text MATCHES "record sound|ftp connect|net game|net sessions")
    message(STATUS "not run (needs a device or a server): ${name}")
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
    string(APPEND failed "${name}: status ${status}\n${output}${errors}\n")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}" "${WORK}-config")
if(failed)
  message(FATAL_ERROR "example programs of ${DOC}:\n${failed}")
endif()
message(STATUS "${ran} example programs of ${DOC} ran")
