# Stand-ins used by the client utilities on a Linux desktop: command runs, local networks.
target_sources(platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/run_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/local_networks.cpp
)
wayfarer_test(desktop_platform_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/run_command_test.cpp
  LIBS platform)
