# The dial-up facility (simulated and pppd providers) used by the gateway's dialler.
target_sources(platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dialup_facility.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialup_simulated.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialup_pppd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pppd_output.cpp)
wayfarer_test(dialup_facility_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialup_simulated_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/dialup_pppd_test.cpp
  LIBS platform platform_testing LABELS threads)
target_sources(platform_testing PRIVATE ${CMAKE_CURRENT_LIST_DIR}/testing/dial_progress.cpp)
