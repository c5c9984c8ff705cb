# The web cache: settings, names, records, dates, rules, store, relay hook and purge thread.
# Part of the web library (the opening calls the cache and the cache answers its clients).
target_sources(web PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/cache_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_date.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/content_coding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_lookup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/conditional_get.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_hook.cpp
  ${CMAKE_CURRENT_LIST_DIR}/purge_pass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/purge_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/web_cache.cpp
)

wayfarer_test(web_cache_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_date_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cache_rules_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/content_coding_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cache_store_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/purge_pass_test.cpp
  LIBS web platform_testing)
