// SplitHostText and ResolveTarget.
#include "gateway/web/resolve_target.h"

#include "platform/socket.h"

namespace web {

int SplitHostText(const std::string& host_text, std::string* host, int* port) {
  if (host_text.size() > kMaxHostText) return -1;
  size_t colon = host_text.find(':');
  *host = host_text.substr(0, colon);
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
  if (platform::IsDottedAddress(host)) {
    *address = host;
    return port;
  }
  std::string canonical;
  if (host.empty() || dial.ResolveHost(host, address, &canonical) != 0) {
    address->clear();
    return kLookupFailed;
  }
  return port;
}

}  // namespace web
