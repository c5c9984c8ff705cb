# What the console's Cache page asks of the web cache: its save step, the exception list's
# writes and Purge Now. Part of the web library.
target_sources(web PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/cache_page_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_exception_edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/purge_now_job.cpp
)

wayfarer_test(cache_page_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cache_page_rules_test.cpp
  LIBS web platform_testing)
