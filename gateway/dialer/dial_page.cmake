# What the console's Dial page asks of the dialler: its settings writes, the phone-book
# refresh, dialling and hanging up by hand, the status line, and the simulated line's clock.
# Part of the dialer library.
target_sources(dialer PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dial_page_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dial_by_hand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/simulated_clock.cpp
)

wayfarer_test(dial_page_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dial_page_rules_test.cpp
  LIBS dialer platform_testing)
