// The target of a proxy request: a host text "host[:port]" or "[ipv6][:port]" becomes an
// address text (dotted IPv4 or IPv6) and a port, resolving names through the session's
// DialContext (dial on demand, DNS cache; its ConnectOut then knows the name's other addresses).
// Used by the web proxy and the POP3 proxy from their own session threads.
#pragma once

#include <string>

#include "gateway/engine/dial_context.h"

namespace web {

inline constexpr size_t kMaxHostText = 99;  // host, colon and port
inline constexpr size_t kMaxPortText = 6;
inline constexpr int kDefaultPort = 80;
// Results of ResolveTarget besides a port.
inline constexpr int kLookupFailed = -1;
inline constexpr int kBadHostText = -2;

// Splits host_text at its first ":" into *host and *port; a host in brackets must be IPv6
// text and is given without them, its port after "]:". No ":" or a port value of 0 gives
// 80. -1 when host_text is longer than kMaxHostText, a bracket is unclosed or holds no IPv6
// address, the port text is longer than kMaxPortText, or the port value above 65535 (the
// proxy refuses these as a protocol violation); else 0.
[[nodiscard]] int SplitHostText(const std::string& host_text, std::string* host, int* port);

// The target port (1..65535) with *address the target address (a name's first, IPv4 before
// IPv6); kBadHostText as SplitHostText refuses; kLookupFailed with *address "" when the name
// does not resolve. A dotted or IPv6 host is taken as it is, without a lookup.
[[nodiscard]] int ResolveTarget(const std::string& host_text, std::string* address,
                                engine::DialContext& dial);

}  // namespace web
