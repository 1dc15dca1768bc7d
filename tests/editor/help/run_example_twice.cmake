# Runs one example program as two copies on this machine, as a user tries
# a network game: the second starts once the first has printed its first
# line, and each runs for its number of frames.
#   cmake -DZENTROVEX=exe -DEXAMPLE=file.kqa -DWORK=dir -DEXPECTED=prefix -P run_example_twice.cmake
# The copies' standard outputs must equal PREFIX.first and PREFIX.second,
# and both must end with status 0.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(script [=[
"$1" run --headless --frames 400 "$2" > first.txt 2> first.err &
first=$!
tries=0
while [ ! -s first.txt ] && [ $tries -lt 600 ] && kill -0 $first 2> /dev/null; do
  sleep 0.05
  tries=$((tries + 1))
done
"$1" run --headless --frames 80 "$2" > second.txt 2> second.err
second=$?
wait $first
echo "$? $second"
]=])
execute_process(
  COMMAND sh -c "${script}" sh "${ZENTROVEX}" "${EXAMPLE}"
  WORKING_DIRECTORY "${WORK}"
  OUTPUT_VARIABLE statuses
  OUTPUT_STRIP_TRAILING_WHITESPACE
  TIMEOUT 100)
set(failed "")
if(NOT statuses STREQUAL "0 0")
  string(APPEND failed "exit statuses (first, second): ${statuses}\n")
endif()
foreach(copy first second)
  file(READ "${WORK}/${copy}.txt" actual)
  file(READ "${WORK}/${copy}.err" errors)
  file(READ "${EXPECTED}.${copy}" expected)
  if(NOT actual STREQUAL expected)
    string(APPEND failed "--- ${copy} copy, expected\n${expected}--- printed\n${actual}--- standard error\n${errors}\n")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "two copies of ${EXAMPLE}:\n${failed}")
endif()
