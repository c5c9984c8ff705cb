// The DNS service: the dispatcher-side intake of each query and the session that looks a name
// up. Answers that need no lookup never wait behind the ones that do.
#include "gateway/proxies/dns_proxy.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>

#include "gateway/engine/dial_context.h"
#include "gateway/engine/dns_cache.h"
#include "gateway/engine/service_list.h"
#include "gateway/proxies/dns_hosts_file.h"
#include "platform/host_addresses.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr int kSendAttempts = 3;
constexpr int kSendWaitMs = 50;

using Address6 = std::array<uint8_t, 16>;

void SendAnswer(platform::Socket s, const std::vector<uint8_t>& answer,
                const sockaddr_storage& to) {
  // A datagram goes whole or not at all; a full send buffer is ridden out a few times.
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    if (platform::SendToPeer(s, answer.data(), answer.size(), to) >= 0) return;
    int err = platform::LastSocketError();
    if (err != platform::kWsaEWouldBlock && err != platform::kWsaENoBufs) return;
    if (platform::WaitWritable(s, kSendWaitMs) < 0) return;
  }
}

std::vector<Address6> AsBytes(const std::vector<in6_addr>& addresses) {
  std::vector<Address6> out(addresses.size());
  for (size_t i = 0; i < addresses.size(); ++i) std::memcpy(out[i].data(), &addresses[i], 16);
  return out;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

CDNS::CDNS(platform::Socket dns_socket, std::vector<uint8_t> query, const sockaddr_storage& from,
           std::unique_ptr<DnsLookupTicket> ticket)
    : SessionThread(dns_socket, -1, 0),
      query_(std::move(query)),
      from_(from),
      ticket_(std::move(ticket)) {}

bool AnswerWithoutLookup(std::span<const uint8_t> query, const DnsQuestion& q,
                         const sockaddr_storage& sender, std::vector<uint8_t>* answer) {
  // Reverse lookups are never resolved: only the low byte of QTYPE is looked at.
  if ((q.qtype & 0xFF) == kDnsTypePtrLowByte || !q.resolvable ||
      IsOwnLookupReturning(q.name, sender)) {
    *answer = BuildNameError(query, q);
    return true;
  }
  std::string address;
  std::string official;
  in_addr a{};
  if (q.qtype != kDnsTypeAaaa && engine::UseDnsCache() == 1 &&
      engine::DnsCacheLookup(Lower(q.name), &address, &official) &&
      inet_pton(AF_INET, address.c_str(), &a) == 1) {
    *answer = BuildAddressAnswer(query, q, official, a.s_addr);
    return true;
  }
  HostsEntry listed;
  if (!TheHostsFile().Find(q.name, &listed)) return false;
  if (q.qtype == kDnsTypeAaaa) {
    // A name listed with IPv4 only may still have IPv6 addresses in the name servers.
    if (listed.v6.empty()) return false;
    *answer = BuildAaaaAnswer(query, q, AsBytes(listed.v6));
    return true;
  }
  if (listed.v4.empty()) return false;
  // The answer is the one a lookup would have given and cached: cache it the same way, so
  // it outlives a later change of the file just as a resolved answer does.
  if (engine::UseDnsCache() == 1) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &listed.v4.front(), text, sizeof text);
    engine::DnsCacheStore(Lower(q.name), listed.official, text);
  }
  *answer = BuildAddressAnswer(query, q, listed.official, listed.v4.front().s_addr);
  return true;
}

std::vector<uint8_t> AnswerDnsQuery(std::span<const uint8_t> query) {
  DnsQuestion q;
  if (ParseDnsQuery(query, &q) != 0) return {};
  if ((q.qtype & 0xFF) == kDnsTypePtrLowByte || !q.resolvable) return BuildNameError(query, q);
  engine::DialContext dial;
  std::vector<in6_addr> v6;
  if (q.qtype == kDnsTypeAaaa && dial.EnsureLink() == 0 && platform::LookupHost6(q.name, &v6)) {
    return BuildAaaaAnswer(query, q, AsBytes(v6));
  }
  std::string address;
  std::string official;
  in_addr a{};
  if (dial.ResolveHost(q.name, &address, &official) != 0 ||
      inet_pton(AF_INET, address.c_str(), &a) != 1) {
    return BuildNameError(query, q);
  }
  if (q.qtype == kDnsTypeAaaa) return BuildEmptyAnswer(query, q);
  return BuildAddressAnswer(query, q, official, a.s_addr);
}

bool CDNS::InitInstance() {
  std::vector<uint8_t> answer = AnswerDnsQuery(query_);
  // The lookup is over before the client hears of it, so its next query is never taken for
  // one of ours.
  ticket_.reset();
  if (!answer.empty()) SendAnswer(listening_socket_, answer, from_);
  return false;
}

platform::WorkerThread* TakeDnsQuery(platform::Socket dns_socket) {
  // Read even when FIONREAD says 0: an empty datagram must still leave the queue, or the read
  // event would never be re-armed and the service would fall silent.
  std::vector<uint8_t> buffer(kDnsReceiveLimit);
  sockaddr_storage from{};
  int n = platform::RecvFromPeer(dns_socket, buffer.data(), buffer.size(), &from);
  if (n <= 0) return nullptr;
  buffer.resize(static_cast<size_t>(n));
  DnsQuestion q;
  if (ParseDnsQuery(buffer, &q) != 0) return nullptr;
  std::vector<uint8_t> answer;
  if (AnswerWithoutLookup(buffer, q, from, &answer)) {
    if (!answer.empty()) SendAnswer(dns_socket, answer, from);
    return nullptr;
  }
  auto ticket = std::make_unique<DnsLookupTicket>(q.name);
  if (!ticket->Admitted()) return nullptr;
  return new (std::nothrow) CDNS(dns_socket, std::move(buffer), from, std::move(ticket));
}

}  // namespace proxies
