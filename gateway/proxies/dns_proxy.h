// CDNS: the DNS service. Each datagram on the DNS port is read by the dispatcher's factory
// (TakeDnsQuery), which answers at once whatever needs no lookup; a name that must be looked up
// gets one short-lived CDNS session, which resolves it with the gateway's own resolver (through
// the DNS cache when that is on, dialling on demand) and answers the sender itself; nothing is
// forwarded. The session object belongs to its own thread and deletes itself when the thread
// ends; the DNS socket stays the dispatcher's.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "gateway/engine/session_thread.h"
#include "gateway/proxies/dns_guard.h"
#include "gateway/proxies/dns_message.h"

namespace proxies {

// Longest datagram read; a longer one is cut (the question comes first, so it still answers).
inline constexpr size_t kDnsReceiveLimit = 4096;

class CDNS : public engine::SessionThread {
 public:
  // query: the datagram as read, from: its sender, ticket: this lookup's place in the guard.
  CDNS(platform::Socket dns_socket, std::vector<uint8_t> query, const sockaddr_storage& from,
       std::unique_ptr<DnsLookupTicket> ticket);

 protected:
  // Does the whole exchange and returns false, so the thread ends right after it.
  bool InitInstance() override;

 private:
  std::vector<uint8_t> query_;
  sockaddr_storage from_;
  std::unique_ptr<DnsLookupTicket> ticket_;
};

// The factory of the DNS port, called on the dispatcher's thread for each read event: reads one
// datagram and either answers it at once (AnswerWithoutLookup), drops it (unreadable, or
// kDnsSessionLimit lookups under way), or returns the session that looks its name up. Returns
// nullptr whenever no session is to start.
[[nodiscard]] platform::WorkerThread* TakeDnsQuery(platform::Socket dns_socket);

// The answer that needs no lookup, if the query has one: the name-error answer for PTR queries,
// names that cannot be looked up and our own lookups returning to us (sender is the query's
// source); the address answer for a name in the DNS cache (when it is on) or, for the types
// the hosts file answers, in the hosts file. false when the name must be looked up.
[[nodiscard]] bool AnswerWithoutLookup(std::span<const uint8_t> query, const DnsQuestion& q,
                                       const sockaddr_storage& sender,
                                       std::vector<uint8_t>* answer);

// The answer after a lookup: empty when the datagram gets none; the name-error answer for names
// that do not resolve; an AAAA query gets the name's IPv6 addresses, or the empty answer when it
// has IPv4 ones only; every other type the address answer. Resolves on the calling thread (may
// dial and wait).
[[nodiscard]] std::vector<uint8_t> AnswerDnsQuery(std::span<const uint8_t> query);

}  // namespace proxies
