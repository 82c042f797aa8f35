# Tests of decodes on several threads carry the CTest label "threads". The
# tsan preset builds only what they need (the target tessera_threads_tests)
# and runs them under ThreadSanitizer (ctest --preset tsan, scripts/test);
# the other presets run them with everything else.
#
#   tessera_threads_tests(TARGET [PREFIX prefix] [FILTER pattern] [DEPENDS target...])
#
# adds TARGET's GoogleTest tests that the --gtest_filter PATTERN selects
# (by default all of them) with the label, named PREFIX and the test's name,
# and makes tessera_threads_tests build TARGET and the DEPENDS (the programs
# the tests run). A test program of threaded decodes alone is
#
#   add_executable(tessera_threaded_decode_tests threaded_decode_test.cpp)
#   target_link_libraries(tessera_threaded_decode_tests PRIVATE tessera_internal GTest::gtest_main)
#   tessera_warnings(tessera_threaded_decode_tests)
#   tessera_threads_tests(tessera_threaded_decode_tests PREFIX "Unit.")
#
# A program that has other tests too discovers those itself, leaving these
# out: gtest_discover_tests(TARGET ... TEST_FILTER "-PATTERN").
include(GoogleTest)

if(NOT TARGET tessera_threads_tests)
  add_custom_target(tessera_threads_tests)
endif()

function(tessera_threads_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PREFIX;FILTER" "DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tessera_threads_tests: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_FILTER)
    set(arg_FILTER "*")
  endif()
  gtest_discover_tests(${target}
    TEST_PREFIX "${arg_PREFIX}"
    TEST_FILTER "${arg_FILTER}"
    TEST_LIST ${target}_threads_tests
    PROPERTIES LABELS threads)
  add_dependencies(tessera_threads_tests ${target} ${arg_DEPENDS})
endfunction()
