# Access rules with their shared host lookups, the rule list and the Security page's logic, the master password and the
# stored password form.
target_sources(engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/access_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_lookups.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rule_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/security_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/master_password.cpp
  ${CMAKE_CURRENT_LIST_DIR}/password_scramble.cpp)

wayfarer_test(access_rules_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/access_rules_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/security_page_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/master_password_test.cpp
  LIBS engine platform_testing)
