# Reload of the settings store into the running engine.
target_sources(engine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/settings_reload.cpp)
wayfarer_test(settings_reload_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_reload_test.cpp
  LIBS engine platform_testing)
