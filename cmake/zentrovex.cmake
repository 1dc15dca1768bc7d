# Build conventions shared by every folder of the project.

set(ZV_WARNINGS -Wall -Wextra)

# Pictures are the same in every build type, so no result may depend on
# the optimiser: no multiply and add fused into one rounding (compilers
# fuse by default where the processor can), and no straight-line
# vectorising by GCC, whose vector form of a double product rounded to a
# float goes on using the unrounded product (GCC 12 at -O3, and at -O2
# once inlined): a camera's view matrix came out an ulp apart in Release.
add_compile_options(-ffp-contract=off)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-fno-tree-slp-vectorize)
endif()
set(ZV_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

# Line tables are enough for stack traces and cost a fifth less to compile
# than full debug information.
add_compile_options($<$<CONFIG:RelWithDebInfo,Debug>:-g1>)

if(ZV_SANITIZE)
  add_compile_options(${ZV_SANITIZER_FLAGS})
  add_link_options(${ZV_SANITIZER_FLAGS})
  # The code under test runs much faster at -O1 under the sanitizers; test
  # sources themselves stay at -O0 (see zv_test_suite).
  add_compile_options(-O1)
endif()
if(ZV_FUZZ)
  # Libraries get coverage instrumentation; the fuzz executables add the fuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Sources that share a file-local name with a neighbour in their library or
# test suite, and so are compiled on their own in a unity build.
set(ZV_UNITY_ALONE
  audio/commands/music_commands.cc
  audio/library/formats/mod_player.cc
  audio/library/formats/mpeg_layer2.cc
  audio/library/formats/mpeg_synthesis.cc
  audio/library/formats/s3m_loader.cc
  audio/library/formats/s3m_player.cc
  audio/library/formats/song_library_host.cc
  audio/library/formats/wav_reader.cc
  audio/library/formats/xm_loader.cc
  audio/library/formats/xm_player.cc
  audio/library/mix_saturating.cc
  audio/library/sample.cc
  audio/library/sdl_driver.cc
  compiler/statement.cc
  compiler/user_functions.cc
  display/bitmap_commands.cc
  display/codecs/dds_codec.cc
  display/codecs/png_codec.cc
  display/codecs/tga_codec.cc
  display/display_commands.cc
  display/draw_executor.cc
  display/images.cc
  display/sprites_commands.cc
  display/text_commands.cc
  editor/editor_actions.cc
  editor/editor_images.cc
  engine3d/commands/camera_commands.cc
  engine3d/commands/limb_commands.cc
  engine3d/commands/object_queries.cc
  engine3d/objects/keyframe_commands.cc
  engine3d/render/light_commands.cc
  engine3d/scene/static_scene_file.cc
  platform/render3d/vertex_processing.cc
  platform/window/sdl/sdl_message_box.cc
  platform/xfile/text_writer.cc
  runtime/vm/opcodes/strings.cc
  services/files/checklist_commands.cc
  services/files/file_commands.cc
  services/files/file_formats.cc
  services/files/numbered_file_commands.cc
  services/memory/pixel_conversions.cc
  services/memory/sound_conversions.cc
  services/net/multiplayer_commands.cc
  services/net/net_interface.cc
  services/system/user_library_commands.cc
  tests/audio/library/formats/songs/mod_player_test.cc
  tests/audio/library/formats/songs/s3m_player_test.cc
  tests/audio/library/formats/songs/xm_player_test.cc
  tests/audio/library/streamer_test.cc
  tests/audio/library/wav_reader_test.cc
  tests/display/x11_window_state.cc
  tests/editor/source_file_test.cc
  tests/engine3d/camera_light_program_test.cc
  tests/engine3d/keyframe_program_test.cc
  tests/engine3d/matrix_program_test.cc
  tests/engine3d/placement_program_test.cc
  tests/engine3d/query_program_test.cc
  tests/engine3d/scene_settings_program_test.cc
  tests/platform/render3d/lighting_test.cc
  tests/platform/render3d/raster_test.cc
  tests/platform/video/video_stream_test.cc
  tests/runtime/vm/opcodes/operators_test.cc
  tests/runtime/vm/opcodes/strings_test.cc
  tests/services/files/checklist_test.cc
  tests/services/files/file_commands_test.cc
  tests/services/files/numbered_files_test.cc
)

# zv_library(NAME SOURCES... [DEPS ...] [PRIVATE_DEPS ...])
# One static library per subsystem or platform service; headers are included
# by path from the repository root ("runtime/vm/vm.h").
function(zv_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ZV_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  zv_unity(${name})
endfunction()

# zv_system_library_headers(TARGET IMPORTED...): TARGET compiles against the
# headers of the imported libraries but does not link them: it loads them
# when a program first needs them (platform/dynlib/system_library.h), so
# that a run needing none of them starts without them.
function(zv_system_library_headers target)
  foreach(library IN LISTS ARGN)
    target_include_directories(${target} SYSTEM PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_COMPILE_DEFINITIONS>)
    target_compile_options(${target} PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_COMPILE_OPTIONS>)
  endforeach()
  target_link_libraries(${target} PRIVATE zv_platform_dynlib)
endfunction()

function(zv_unity target)
  if(ZV_UNITY)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 12)
    # Deferred so that sources added to the target later count too.
    cmake_language(EVAL CODE "cmake_language(DEFER CALL zv_unity_alone ${target})")
  endif()
endfunction()

function(zv_unity_alone target)
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    get_filename_component(absolute ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    file(RELATIVE_PATH path ${PROJECT_SOURCE_DIR} ${absolute})
    if(path IN_LIST ZV_UNITY_ALONE)
      set_source_files_properties(${source} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
    endif()
  endforeach()
endfunction()

# Test sources are compiled unoptimised and, outside unity builds, with
# GoogleTest's headers precompiled once for every suite: they are most of
# the build's sources and little of its run time.
function(zv_test_flags name)
  target_compile_options(${name} PRIVATE ${ZV_WARNINGS} -O0)
  # Lets a long test take a shorter road where the sanitizers slow it down.
  if(ZV_SANITIZE)
    target_compile_definitions(${name} PRIVATE ZV_UNDER_SANITIZERS)
  endif()
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock)
endfunction()

function(zv_test_headers)
  if(TARGET zv_test_headers)
    return()
  endif()
  file(WRITE ${PROJECT_BINARY_DIR}/zv_test_headers.cc "")
  add_library(zv_test_headers OBJECT ${PROJECT_BINARY_DIR}/zv_test_headers.cc)
  zv_test_flags(zv_test_headers)
  target_precompile_headers(zv_test_headers PRIVATE <gtest/gtest.h> <gmock/gmock.h> <string> <vector>)
endfunction()

# zv_test_suite(NAME [PICTURES] [WAITS] [OUTSIDE] SOURCES... DEPS ...): one
# GoogleTest executable, registered with CTest as one test NAME that runs
# every case in one process: a process of ours spends a few tenths of a
# second loading its libraries, which a test of its own for each of some
# two thousand cases paid again and again. A suite marked WAITS or OUTSIDE
# registers each case as a test of its own instead, so that its long cases
# spread over the processors. PICTURES marks a
# suite that compares frames with golden pictures: its tests carry the label
# "pictures", and the target zv_picture_tests builds every such suite, so a
# second build type can run them alone (scripts/test). WAITS marks a suite
# whose tests mostly wait (on sockets, servers, timers): the label "waits"
# (zv_waiting_tests, below). OUTSIDE marks a suite that drives the built
# executable from outside: the label "outside" (zv_outside_tests, below).
function(zv_test_suite name)
  cmake_parse_arguments(ARG "PICTURES;WAITS;OUTSIDE" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  zv_test_flags(${name})
  # A unity build is the fresh clone's build (scripts/test), which ccache
  # serves from another clone's compiles only without a precompiled header:
  # its path is in every source that uses it.
  if(NOT ZV_UNITY)
    zv_test_headers()
    target_precompile_headers(${name} REUSE_FROM zv_test_headers)
  endif()
  zv_unity(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} zv_test_main)
  set(properties ENVIRONMENT "ZV_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  if(ARG_WAITS)
    list(APPEND properties LABELS waits)
  endif()
  if(ARG_OUTSIDE)
    list(APPEND properties LABELS outside)
  endif()
  if(ARG_PICTURES)
    list(APPEND properties LABELS pictures)
    if(NOT TARGET zv_picture_tests)
      add_custom_target(zv_picture_tests)
    endif()
    add_dependencies(zv_picture_tests ${name})
  endif()
  if(ARG_WAITS OR ARG_OUTSIDE)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  else()
    # The suite's main exits 77 where a case skipped and none failed.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      SKIP_RETURN_CODE 77 ${properties})
  endif()
endfunction()

# zv_label_tests(LABEL NAME...): adds LABEL to the tests named that exist.
function(zv_label_tests label)
  foreach(name IN LISTS ARGN)
    if(TEST ${name})
      set_property(TEST ${name} APPEND PROPERTY LABELS ${label})
    endif()
  endforeach()
endfunction()

# zv_waiting_tests(NAME...): marks tests that mostly wait (for a window, a
# typed key, a paced frame, another program) with the label "waits".
# scripts/test runs them in a wider pass of their own beside the others, so
# that they hold no processor slot a computing test needs. A lock
# (RESOURCE_LOCK) holds within one pass only: the tests that share one are
# all in the same pass.
function(zv_waiting_tests)
  zv_label_tests(waits ${ARGN})
endfunction()

# zv_outside_tests(NAME...): marks tests that drive the built executable
# from outside, as a user at the desktop, another user, a network peer or a
# killer of its process would, with the label "outside". Their waits are
# timed for a release build: scripts/test runs them in the release tree and
# leaves them out of the sanitizer tree, which looks for faults of memory
# with the unit tests and the BASIC program tests.
function(zv_outside_tests)
  zv_label_tests(outside ${ARGN})
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
# matching FILTER inside a virtual X server of their own
# (tests/support/with_xvfb.sh), so tests of the real SDL window run where
# there is no display; where a case skips, the run is skipped (77, from
# tests/support/test_main.cc). Where Xvfb is not installed these tests are
# registered all the same: each skips, saying so.
set(ZV_WITH_XVFB ${PROJECT_SOURCE_DIR}/tests/support/with_xvfb.sh)
function(zv_xvfb_test name target filter)
  add_test(NAME ${name}
    COMMAND ${ZV_WITH_XVFB} $<TARGET_FILE:${target}> --gtest_filter=${filter})
  # The graphics and desktop-bus libraries SDL loads keep buffers until exit.
  set_tests_properties(${name} PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77 ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endfunction()

# zv_xvfb_wm_test(NAME COMMAND...): runs the command inside a virtual X
# server with a window manager (openbox) in charge, for tests of what the
# window looks like on a desktop. Skipped when openbox is missing. The
# test's own limit, ZV_WINDOW_TEST_SECONDS, is where its waits give up and
# the window-manager wrapper shows what hung; CTest's lies a minute beyond,
# for the X server and the window manager to start. Both only find a hang:
# a test that needs more sets both higher.
function(zv_xvfb_wm_test name)
  add_test(NAME ${name}
    COMMAND ${ZV_WITH_XVFB} ${PROJECT_SOURCE_DIR}/tests/support/with_window_manager.sh ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0;ZV_WINDOW_TEST_SECONDS=120")
endfunction()

# zv_xvfb_bare_test(NAME COMMAND...): the same on a bare X server, where no
# window manager places, frames or focuses the window.
function(zv_xvfb_bare_test name)
  add_test(NAME ${name} COMMAND ${ZV_WITH_XVFB} ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0;ZV_WINDOW_TEST_SECONDS=120")
endfunction()
