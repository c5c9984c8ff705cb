# Who may use the gateway (AllowedClients) and which targets its sessions may open.
target_sources(engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/client_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/target_guard.cpp)

wayfarer_test(client_guard_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/client_filter_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/target_guard_test.cpp
  LIBS engine platform_testing)
