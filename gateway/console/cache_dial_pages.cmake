# The Cache and Dial pages with their dialog; they draw what the web cache and the dialler
# decide, so the console links both.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/page_widgets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/number_edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_exception_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dial_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_dial_pages.cpp
)
target_link_libraries(console PUBLIC web dialer)

if(GTest_FOUND AND TARGET Qt6::Test)
  add_library(page_test_support STATIC page_test_support.cpp)
  target_link_libraries(page_test_support PUBLIC console platform_testing)
  foreach(test cache_page_test dial_page_test)
    add_executable(${test} ${test}.cpp)
    set_target_properties(${test} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${test} PRIVATE page_test_support Qt6::Test GTest::gtest)
    wayfarer_add_test(${test})
  endforeach()
endif()
