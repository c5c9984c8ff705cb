# Readiness reports to the service manager.
target_sources(platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/service_notify.cpp)
wayfarer_test(service_notify_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/service_notify_test.cpp
  LIBS platform)
