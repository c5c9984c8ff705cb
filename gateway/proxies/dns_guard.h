// What keeps the DNS service from drowning: a bound on the sessions that look names up at once
// (queries beyond it are dropped, as a busy name server drops them), and the names those
// sessions are looking up, so a query that is one of our own lookups coming back to us (the
// gateway's resolver pointing at the gateway) is refused instead of starting another lookup.
// Thread-safe: one process-wide table under its own lock.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <string>

namespace proxies {

inline constexpr size_t kDnsSessionLimit = 256;

// One DNS session looking up name, for its lifetime. Admitted() is false when kDnsSessionLimit
// sessions are under way already: the query is then dropped.
class DnsLookupTicket {
 public:
  explicit DnsLookupTicket(const std::string& name);
  ~DnsLookupTicket();
  DnsLookupTicket(const DnsLookupTicket&) = delete;
  DnsLookupTicket& operator=(const DnsLookupTicket&) = delete;
  [[nodiscard]] bool Admitted() const { return admitted_; }

 private:
  std::string key_;
  bool admitted_ = false;
};

// True when a query for name from sender is one of our own sessions' lookups come back: a
// session is looking up name (or name with a search domain appended to it), and the query was
// sent from this machine by a socket of this process, not by a client that happens to ask for
// the same name.
[[nodiscard]] bool IsOwnLookupReturning(const std::string& name, const sockaddr_storage& sender);

// Sessions under way (tests).
[[nodiscard]] size_t DnsSessionsInFlight();

}  // namespace proxies
