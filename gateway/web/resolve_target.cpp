// SplitHostText and ResolveTarget, for names, dotted addresses and bracketed IPv6 literals.
#include "gateway/web/resolve_target.h"

#include "platform/socket.h"

namespace web {

int SplitHostText(const std::string& host_text, std::string* host, int* port) {
  if (host_text.size() > kMaxHostText) return -1;
  size_t colon = host_text.find(':');
  *host = host_text.substr(0, colon);
  // An IPv6 literal stands in brackets (RFC 3986 section 3.2.2); its colons are its own.
  if (!host_text.empty() && host_text.front() == '[') {
    size_t close = host_text.find(']');
    if (close == std::string::npos) return -1;
    *host = host_text.substr(1, close - 1);
    if (!platform::IsIpv6Text(*host)) return -1;
    colon = close + 1;
    if (colon == host_text.size()) colon = std::string::npos;
    if (colon != std::string::npos && host_text[colon] != ':') return -1;
  }
  *port = kDefaultPort;
  if (colon == std::string::npos) return 0;
  std::string port_text = host_text.substr(colon + 1);
  if (port_text.size() > kMaxPortText) return -1;
  // The decimal value of the leading digits, as the clients have always been read.
  long value = 0;
  for (char c : port_text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return -1;
  if (value != 0) *port = static_cast<int>(value);
  return 0;
}

int ResolveTarget(const std::string& host_text, std::string* address, engine::DialContext& dial) {
  std::string host;
  int port = 0;
  address->clear();
  if (SplitHostText(host_text, &host, &port) != 0) return kBadHostText;
  if (platform::IsDottedAddress(host) || platform::IsIpv6Text(host)) {
    *address = host;
    return port;
  }
  std::string canonical;
  if (host.empty() || dial.ResolveTarget(host, address, &canonical) != 0) {
    address->clear();
    return kLookupFailed;
  }
  return port;
}

}  // namespace web
