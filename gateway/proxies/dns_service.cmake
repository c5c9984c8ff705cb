# The DNS service's answers without a lookup (hosts file) and its guard against floods and
# against its own lookups coming back to it.
target_sources(proxies PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dns_hosts_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dns_guard.cpp)

wayfarer_test(proxies_dns_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dns_hosts_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dns_guard_test.cpp
  LIBS proxies platform_testing)
