# The FTP, Telnet, POP3 and SOCKS proxies.
target_sources(proxies PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/tcp_proxies.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tcp_proxies_relay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_line_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_proxy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_transfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_passive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/telnet_line_editor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/telnet_proxy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socks_opening.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socks5_opening.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socks5_request.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pop3_opening.cpp)
# POP3 resolves its server with the web proxy's ResolveTarget: the one use of web here.
target_link_libraries(proxies PUBLIC web)

wayfarer_test(tcp_proxies_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ftp_commands_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ftp_transfer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/telnet_line_editor_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pop3_opening_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/socks5_request_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tcp_proxies_session_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/session_kill_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ftp_data_transfer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pop3_session_test.cpp
  LIBS proxies platform_testing)
