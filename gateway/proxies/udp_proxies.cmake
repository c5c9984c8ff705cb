# RealAudio proxy, UDP mapped links and the DNS service.
target_sources(proxies PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dns_message.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dns_proxy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/udp_map.cpp
  ${CMAKE_CURRENT_LIST_DIR}/realaudio_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/realaudio_proxy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/udp_proxies.cpp)

wayfarer_test(proxies_udp_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dns_message_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/realaudio_dialog_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/udp_map_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/realaudio_session_test.cpp
  LIBS proxies platform_testing)
