// ICMP echo for the gateway test: one echo request, wait a bounded time for its reply.
// Uses an unprivileged ping socket (SOCK_DGRAM/IPPROTO_ICMP) and falls back to a raw ICMP
// socket when ping sockets are not allowed. Each IcmpEcho object owns its socket; use one
// object from one thread at a time.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

// What the echo request carries in its IP header.
struct IcmpOptions {
  int ttl = 64;
  int tos = 0;
  bool dont_fragment = true;
};

class IcmpEcho {
 public:
  IcmpEcho() = default;
  ~IcmpEcho();
  IcmpEcho(const IcmpEcho&) = delete;
  IcmpEcho& operator=(const IcmpEcho&) = delete;

  // Opens the socket (ping socket first, raw socket second). 0 on success, -1 when neither
  // kind may be opened on this machine.
  [[nodiscard]] int Open();
  [[nodiscard]] bool is_open() const { return fd_ >= 0; }
  [[nodiscard]] bool uses_raw_socket() const { return raw_; }
  void Close();

  // Sends one echo request with data to address (IPv4, network byte order) and waits at
  // most timeout_ms for the matching reply. Returns the number of replies (0 or 1), or -1
  // when the socket is not open or the request could not be sent.
  [[nodiscard]] int SendEcho(uint32_t address, std::span<const uint8_t> data,
                             const IcmpOptions& options, int timeout_ms);

 private:
  [[nodiscard]] bool IsOurReply(const uint8_t* packet, size_t len, uint16_t sequence) const;

  int fd_ = -1;
  bool raw_ = false;
  uint16_t identifier_ = 0;
  uint16_t sequence_ = 0;
};

// The Internet checksum (RFC 1071) over data.
[[nodiscard]] uint16_t InternetChecksum(std::span<const uint8_t> data);

}  // namespace platform
