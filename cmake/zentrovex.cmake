# Build conventions shared by every folder of the project.

set(ZV_WARNINGS -Wall -Wextra)
set(ZV_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(ZV_SANITIZE)
  add_compile_options(${ZV_SANITIZER_FLAGS})
  add_link_options(${ZV_SANITIZER_FLAGS})
endif()
if(ZV_FUZZ)
  # Libraries get coverage instrumentation; the fuzz executables add the fuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# zv_library(NAME SOURCES... [DEPS ...] [PRIVATE_DEPS ...])
# One static library per subsystem or platform service; headers are included
# by path from the repository root ("runtime/vm/vm.h").
function(zv_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ZV_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# zv_test_suite(NAME SOURCES... DEPS ...): one GoogleTest executable, its
# tests registered with CTest.
function(zv_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZV_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "ZV_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()

# zv_fuzz_target(NAME SOURCES... DEPS ...): a libFuzzer executable; its seed
# corpus is the folder "corpus" beside its sources.
function(zv_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZV_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# zv_benchmark(NAME SOURCES... DEPS ...): a Google Benchmark executable.
function(zv_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZV_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
endfunction()

# Adds every immediate subfolder of the current folder that has a CMakeLists.txt.
function(zv_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# zv_xvfb_test(NAME TARGET FILTER): runs the GoogleTest cases of TARGET
# matching FILTER inside a virtual X server, so tests of the real SDL window
# run where there is no display. Nothing when xvfb-run is not installed.
find_program(ZV_XVFB_RUN xvfb-run)
function(zv_xvfb_test name target filter)
  if(NOT ZV_XVFB_RUN)
    return()
  endif()
  add_test(NAME ${name}
    COMMAND ${ZV_XVFB_RUN} -a -s "-screen 0 1024x768x24" $<TARGET_FILE:${target}> --gtest_filter=${filter})
  # The graphics and desktop-bus libraries SDL loads keep buffers until exit.
  set_tests_properties(${name} PROPERTIES TIMEOUT 60 ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endfunction()

# zv_xvfb_wm_test(NAME COMMAND...): runs the command inside a virtual X
# server with a window manager (openbox) in charge, for tests of what the
# window looks like on a desktop. Skipped when openbox is missing.
function(zv_xvfb_wm_test name)
  if(NOT ZV_XVFB_RUN)
    return()
  endif()
  add_test(NAME ${name}
    COMMAND ${ZV_XVFB_RUN} -a -s "-screen 0 1024x768x24"
      ${PROJECT_SOURCE_DIR}/tests/support/with_window_manager.sh ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endfunction()
