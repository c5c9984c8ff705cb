// The DNS session: read one datagram, answer it, end. The read also re-arms the socket's
// read event for the dispatcher, so the next waiting query starts the next session.
#include "gateway/proxies/dns_proxy.h"

#include <arpa/inet.h>

#include <string>

#include "gateway/engine/dial_context.h"
#include "gateway/proxies/dns_message.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr int kSendAttempts = 3;
constexpr int kSendWaitMs = 50;

void SendAnswer(platform::Socket s, const std::vector<uint8_t>& answer, const sockaddr_in& to) {
  // A datagram goes whole or not at all; a full send buffer is ridden out a few times.
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    if (platform::SendTo(s, answer.data(), answer.size(), to) >= 0) return;
    int err = platform::LastSocketError();
    if (err != platform::kWsaEWouldBlock && err != platform::kWsaENoBufs) return;
    if (platform::WaitWritable(s, kSendWaitMs) < 0) return;
  }
}

}  // namespace

CDNS::CDNS(platform::Socket dns_socket) : SessionThread(dns_socket, -1, 0) {}

std::vector<uint8_t> AnswerDnsQuery(std::span<const uint8_t> query) {
  DnsQuestion q;
  if (ParseDnsQuery(query, &q) != 0) return {};
  // Reverse lookups are never resolved: only the low byte of QTYPE is looked at.
  if ((q.qtype & 0xFF) == kDnsTypePtrLowByte || !q.resolvable) return BuildNameError(query, q);
  engine::DialContext dial;
  std::string address;
  std::string official;
  in_addr a{};
  if (dial.ResolveHost(q.name, &address, &official) != 0 ||
      inet_pton(AF_INET, address.c_str(), &a) != 1) {
    return BuildNameError(query, q);
  }
  return BuildAddressAnswer(query, q, official, a.s_addr);
}

bool CDNS::InitInstance() {
  // Read even when FIONREAD says 0: an empty datagram must still leave the queue, or the read
  // event would never be re-armed and the service would fall silent.
  std::vector<uint8_t> buffer(kDnsReceiveLimit);
  sockaddr_in from{};
  int n = platform::RecvFrom(listening_socket_, buffer.data(), buffer.size(), &from);
  if (n <= 0) return false;
  std::vector<uint8_t> answer =
      AnswerDnsQuery(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
  if (!answer.empty()) SendAnswer(listening_socket_, answer, from);
  return false;
}

}  // namespace proxies
