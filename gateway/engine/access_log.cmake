# The access log: line format, placement setting and writer thread.
target_sources(engine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/access_log.cpp)
wayfarer_test(access_log_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/access_log_test.cpp
  LIBS engine platform_testing)
