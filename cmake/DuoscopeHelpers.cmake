# Small helpers shared by the CMake files of the tests and benchmarks.

# duoscope_add_qtest(<subsystem> <name> SOURCES ... LIBS ...)
# One Qt Test executable, registered with CTest as <subsystem>/<name>, run
# on the offscreen platform with a time limit so that a hang fails the run.
function(duoscope_add_qtest subsystem name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  set(target test_${subsystem}_${name})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE Qt5::Test ${ARG_LIBS})
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  add_test(NAME ${subsystem}/${name} COMMAND ${target})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${subsystem}/${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DUOSCOPE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# duoscope_run_gstreamer(<test>...)
# Tests that run GStreamer: on a sanitizer build the leak checker unwinds
# through GLib the slow way, so that the suppressions in tests/lsan.supp name
# GLib's and GStreamer's one-time allocations by their frames.
function(duoscope_run_gstreamer)
  if(DUOSCOPE_SANITIZE)
    foreach(test ${ARGN})
      set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
        "ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_init_order=1:fast_unwind_on_malloc=0")
    endforeach()
  endif()
endfunction()

# duoscope_add_benchmark(<name> SOURCES ... LIBS ...)
function(duoscope_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES} "${PROJECT_SOURCE_DIR}/bench/programheap.cpp")
  target_link_libraries(bench_${name} PRIVATE benchmark::benchmark duoscope_pipeline ${ARG_LIBS})
  target_include_directories(bench_${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
endfunction()
