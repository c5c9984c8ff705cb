# A session's access record and the byte counts of its client-side sockets.
target_sources(engine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/session_account.cpp)
wayfarer_test(session_account_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_account_test.cpp
  LIBS engine platform_testing)
