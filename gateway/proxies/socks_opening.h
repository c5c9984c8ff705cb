// The SOCKS 4 opening of the relay session (code 15): reads the client's CONNECT request,
// checks the destination against the rules, connects it and answers with the 8-byte grant;
// the relay session then moves the bytes. Runs on the session's own thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace engine {
class FmCsHttpService;
}

namespace proxies {

inline constexpr char kSocksDenied[] = "Access Denied. Contact Your Administrator\r\n";
// The whole request (8 bytes and the user id) must arrive within this time.
inline constexpr int kSocksRequestWaitMs = 2500;
// Longest user id taken, its terminating zero included.
inline constexpr size_t kSocksUserIdLimit = 256;

struct SocksRequest {
  int version = 0;
  int command = 0;
  uint16_t port = 0;
  std::string address;  // dotted DSTIP
};

// Reads the request from client within wait_ms in all: the 8 fixed bytes, then the user id up
// to and including its zero byte, which is discarded (bytes after it stay unread). 0, or -1
// when the client closed, failed, fell silent or sent a user id longer than the limit.
[[nodiscard]] int ReadSocksRequest(platform::Socket client, int wait_ms, SocksRequest* request);

// The opening registered for code 15: 0 when both sockets were handed to the relay, -1 when
// the session must end (the connection is closed without a SOCKS reply, except that a denied
// destination first gets kSocksDenied).
[[nodiscard]] int OpenSocks(engine::FmCsHttpService& session);

}  // namespace proxies
