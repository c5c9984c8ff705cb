# What the console's Dial page asks of the dialler: its settings writes, the phone-book
# refresh, dialling and hanging up by hand and the status line. Part of the dialer library.
target_sources(dialer PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dial_page_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dial_by_hand.cpp
)

wayfarer_test(dial_page_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dial_page_rules_test.cpp
  LIBS dialer platform_testing LABELS threads)
