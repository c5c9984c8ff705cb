// ICMP echo over a ping socket or a raw socket; the reply is awaited with poll up to a deadline.
#include "platform/icmp_echo.h"

#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr size_t kIcmpHeaderSize = 8;
// Large enough for any reply the kernel may hand us, as the echo API's reply buffer was.
constexpr size_t kReplyBufferSize = 8220;

void ApplyOptions(int fd, const IcmpOptions& options) {
  // Best effort, as the echo API treats its options: a refused option does not stop the test.
  int ttl = options.ttl;
  (void)setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
  int tos = options.tos;
  (void)setsockopt(fd, IPPROTO_IP, IP_TOS, &tos, sizeof tos);
  int pmtu = options.dont_fragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
  (void)setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
}

std::vector<uint8_t> BuildEchoRequest(uint16_t identifier, uint16_t sequence,
                                      std::span<const uint8_t> data) {
  std::vector<uint8_t> request(kIcmpHeaderSize + data.size());
  request[0] = ICMP_ECHO;
  request[4] = static_cast<uint8_t>(identifier >> 8);
  request[5] = static_cast<uint8_t>(identifier);
  request[6] = static_cast<uint8_t>(sequence >> 8);
  request[7] = static_cast<uint8_t>(sequence);
  if (!data.empty()) std::memcpy(request.data() + kIcmpHeaderSize, data.data(), data.size());
  uint16_t sum = InternetChecksum(request);
  request[2] = static_cast<uint8_t>(sum >> 8);
  request[3] = static_cast<uint8_t>(sum);
  return request;
}

}  // namespace

uint16_t InternetChecksum(std::span<const uint8_t> data) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < data.size(); i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (i < data.size()) sum += static_cast<uint32_t>(data[i] << 8);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum & 0xffff);
}

IcmpEcho::~IcmpEcho() { Close(); }

int IcmpEcho::Open() {
  Close();
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  raw_ = false;
  if (fd_ < 0) {
    fd_ = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    raw_ = true;
  }
  if (fd_ < 0) return -1;
  // A ping socket gets its identifier from the kernel; a raw socket filters by ours.
  identifier_ = static_cast<uint16_t>(getpid() & 0xffff);
  return 0;
}

void IcmpEcho::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool IcmpEcho::IsOurReply(const uint8_t* packet, size_t len, uint16_t sequence) const {
  if (raw_) {
    // A raw socket delivers the IP header too, and every ICMP message of the host.
    if (len < 20) return false;
    size_t header = static_cast<size_t>(packet[0] & 0x0f) * 4;
    if (header < 20 || len < header + kIcmpHeaderSize) return false;
    packet += header;
    len -= header;
  }
  if (len < kIcmpHeaderSize || packet[0] != ICMP_ECHOREPLY) return false;
  uint16_t id = static_cast<uint16_t>(packet[4] << 8 | packet[5]);
  uint16_t seq = static_cast<uint16_t>(packet[6] << 8 | packet[7]);
  return seq == sequence && (!raw_ || id == identifier_);
}

int IcmpEcho::SendEcho(uint32_t address, std::span<const uint8_t> data,
                       const IcmpOptions& options, int timeout_ms) {
  if (fd_ < 0) return -1;
  ApplyOptions(fd_, options);
  uint16_t sequence = ++sequence_;
  const std::vector<uint8_t> request = BuildEchoRequest(identifier_, sequence, data);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  if (sendto(fd_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
             sizeof to) < 0) {
    return -1;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::vector<uint8_t> reply(kReplyBufferSize);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    pollfd pfd{fd_, POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return 0;
    if (ready <= 0) continue;
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    ssize_t n = recvfrom(fd_, reply.data(), reply.size(), MSG_DONTWAIT,
                         reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n <= 0) continue;
    if (from.sin_addr.s_addr == address &&
        IsOurReply(reply.data(), static_cast<size_t>(n), sequence)) {
      return 1;
    }
  }
}

}  // namespace platform
