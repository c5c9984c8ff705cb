# wayfarer_test(NAME SOURCES... LIBS libs... [LABELS labels...])
# One GoogleTest executable registered with CTest. Built only when GoogleTest is present.
# Every test runs inside a private network and mount namespace (tests/integration/
# private_network.py): loopback only, its own hosts file, a resolver that answers nothing.
# A skipped case is reported as skipped, never as passed (see platform/testing/gtest_main.cpp).
set(WAYFARER_PRIVATE_NETWORK ${CMAKE_CURRENT_LIST_DIR}/../tests/integration/private_network.py)
set(WAYFARER_SKIP_MARKER "WAYFARER-TESTS-SKIPPED")

if(GTest_FOUND AND NOT TARGET wayfarer_gtest_main)
  # A test with a main of its own links this too and calls testing_support::RunAllTests().
  add_library(wayfarer_gtest_main STATIC ${CMAKE_CURRENT_LIST_DIR}/../platform/testing/gtest_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/testing/run_all_tests.cpp)
  target_include_directories(wayfarer_gtest_main PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(wayfarer_gtest_main PUBLIC GTest::gtest)
endif()

function(wayfarer_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT GTest_FOUND)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} wayfarer_gtest_main)
  wayfarer_add_test(${name} LABELS ${T_LABELS})
endfunction()

# wayfarer_add_test(TARGET [LABELS labels...]): registers a built test executable with CTest, run
# in its private network, with its skips reported (for tests whose executable is made elsewhere).
function(wayfarer_add_test name)
  cmake_parse_arguments(T "" "" "LABELS" ${ARGN})
  add_test(NAME ${name} COMMAND python3 ${WAYFARER_PRIVATE_NETWORK} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" SKIP_REGULAR_EXPRESSION "${WAYFARER_SKIP_MARKER}")
endfunction()
