// CDNS: one short-lived session per datagram on the DNS port. It reads one query, resolves its
// name with the gateway's own resolver (through the DNS cache when that is on, dialling on
// demand) and answers the sender itself; nothing is forwarded. The object belongs to its own
// thread and deletes itself when the thread ends; the DNS socket stays the dispatcher's.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "gateway/engine/session_thread.h"

namespace proxies {

// Longest datagram read; a longer one is cut (the question comes first, so it still answers).
inline constexpr size_t kDnsReceiveLimit = 4096;

class CDNS : public engine::SessionThread {
 public:
  explicit CDNS(platform::Socket dns_socket);

 protected:
  // Does the whole exchange and returns false, so the thread ends right after it.
  bool InitInstance() override;
};

// The answer to one query datagram: empty when the datagram gets none; the name-error answer
// for PTR queries, names that cannot be looked up and names that do not resolve; else the
// address answer. Resolves on the calling thread (may dial and wait).
[[nodiscard]] std::vector<uint8_t> AnswerDnsQuery(std::span<const uint8_t> query);

}  // namespace proxies
