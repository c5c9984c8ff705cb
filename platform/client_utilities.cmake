# Stand-ins used by the client setup utility: ICMP echo, process search, shell open.
target_sources(platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/icmp_echo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_open.cpp
)
wayfarer_test(client_utilities_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/icmp_echo_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/process_list_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_open_test.cpp
  LIBS platform)
