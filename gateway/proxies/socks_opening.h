// The SOCKS opening of the relay session (code 15): reads the client's CONNECT request in
// version 4, 4a (a host name the gateway resolves) or 5 (RFC 1928, without authentication),
// checks the destination against the rules, connects it and answers in the client's version;
// the relay session then moves the bytes. Runs on the session's own thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace engine {
class DialContext;
class FmCsHttpService;
}  // namespace engine

namespace proxies {

inline constexpr char kSocksDenied[] = "Access Denied. Contact Your Administrator\r\n";
// The whole request (8 bytes and the user id) must arrive within this time.
inline constexpr int kSocksRequestWaitMs = 2500;
// Longest user id taken, its terminating zero included; a 4a host name is bounded alike.
inline constexpr size_t kSocksUserIdLimit = 256;

using SocksClock = std::chrono::steady_clock;

// How a refused SOCKS request ended, for the access log.
inline constexpr char kSocksEndNoHost[] = "host unreachable";
inline constexpr char kSocksEndNoConnect[] = "connect failed";

struct SocksRequest {
  int version = 0;
  int command = 0;
  uint16_t port = 0;
  std::string address;  // dotted DSTIP
  std::string host;     // version 4a: the name after the user id (DSTIP is then 0.0.0.x)
};

// Reads the version 4 request from client within wait_ms in all: the 8 fixed bytes, then the
// user id up to and including its zero byte, which is discarded, then for a 4a request the
// host name through its zero byte (bytes after it stay unread). 0, or -1 when the client
// closed, failed, fell silent or sent a user id or name longer than the limit.
[[nodiscard]] int ReadSocksRequest(platform::Socket client, int wait_ms, SocksRequest* request);

// Reads exactly n bytes before deadline. 0, or -1 on a close, an error or the deadline.
[[nodiscard]] int ReadSocksExactly(platform::Socket s, void* buffer, size_t n,
                                   SocksClock::time_point deadline);

// Connects a new socket to the destination (dotted or IPv6 text) through dial, which goes on
// to the name's other addresses when dial resolved it. The socket, or kInvalidSocket with
// *error the Winsock error.
[[nodiscard]] platform::Socket ConnectSocksTarget(engine::DialContext& dial,
                                                  const std::string& address, uint16_t port,
                                                  int* error);

// The opening registered for code 15: 0 when both sockets were handed to the relay, -1 when
// the session must end. Version 4: a malformed request is closed without a reply, a denied
// destination gets kSocksDenied, a failed one the 8-byte reply with code 91. Version 5: see
// OpenSocks5.
[[nodiscard]] int OpenSocks(engine::FmCsHttpService& session);

// The version 5 dialogue after its first byte was seen, within deadline: method selection
// (no authentication, else 0xFF), the request, and a reply with the RFC 1928 code.
[[nodiscard]] int OpenSocks5(engine::FmCsHttpService& session, SocksClock::time_point deadline);

}  // namespace proxies
