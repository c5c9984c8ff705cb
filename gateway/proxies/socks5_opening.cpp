// SOCKS version 5 (RFC 1928) CONNECT without authentication: method selection, the request
// with an IPv4 address, a domain name (resolved by the gateway) or an IPv6 literal, the rule
// check as for version 4, and a reply that says in the protocol's codes how it went.
// Runs on the session's own thread, inside OpenSocks.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/target_guard.h"
#include "gateway/proxies/socks_opening.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr unsigned char kVersion = 5;
constexpr unsigned char kNoAuthentication = 0x00;
constexpr unsigned char kNoAcceptableMethod = 0xFF;
constexpr unsigned char kConnect = 1;
constexpr unsigned char kAddressIpv4 = 1;
constexpr unsigned char kAddressName = 3;
constexpr unsigned char kAddressIpv6 = 4;

// Reply codes (RFC 1928, 6).
constexpr unsigned char kSucceeded = 0x00;
constexpr unsigned char kGeneralFailure = 0x01;
constexpr unsigned char kNotAllowed = 0x02;
constexpr unsigned char kNetworkUnreachable = 0x03;
constexpr unsigned char kHostUnreachable = 0x04;
constexpr unsigned char kRefused = 0x05;
constexpr unsigned char kCommandNotSupported = 0x07;
constexpr unsigned char kAddressNotSupported = 0x08;

// A reply with an IPv4 bound address of zeros: clients of CONNECT do not use it.
int Reply(platform::Socket client, unsigned char code) {
  const unsigned char reply[10] = {kVersion, code, 0, kAddressIpv4, 0, 0, 0, 0, 0, 0};
  return platform::SendAll(client, reply, sizeof reply) == 0 ? 0 : -1;
}

// A failed reply, after which the session ends.
int Refuse(platform::Socket client, unsigned char code) {
  [[maybe_unused]] int rc = Reply(client, code);
  return -1;
}

unsigned char CodeForConnectError(int error) {
  switch (error) {
    case platform::kWsaEConnRefused:
      return kRefused;
    case platform::kWsaENetUnreach:
    case platform::kWsaENetDown:
      return kNetworkUnreachable;
    case platform::kWsaEHostUnreach:
    case platform::kWsaETimedOut:
      return kHostUnreachable;
    default:
      return kGeneralFailure;
  }
}

// Method selection: true when the client offers no authentication, after saying so.
bool SelectMethod(platform::Socket client, SocksClock::time_point deadline) {
  unsigned char head[2];
  unsigned char methods[255];
  if (ReadSocksExactly(client, head, sizeof head, deadline) != 0 ||
      ReadSocksExactly(client, methods, head[1], deadline) != 0) {
    return false;
  }
  bool offered = std::find(methods, methods + head[1], kNoAuthentication) != methods + head[1];
  const unsigned char answer[2] = {kVersion, offered ? kNoAuthentication : kNoAcceptableMethod};
  return platform::SendAll(client, answer, sizeof answer) == 0 && offered;
}

struct Target {
  std::string address;  // dotted, or an IPv6 literal
  std::string name;     // a domain name still to resolve
  uint16_t port = 0;
};

// The request's address and port. 0, -1 when the client failed, or a reply code to refuse with.
int ReadTarget(platform::Socket client, unsigned char type, SocksClock::time_point deadline,
               Target* target) {
  unsigned char raw[256];
  if (type == kAddressIpv4 || type == kAddressIpv6) {
    size_t length = type == kAddressIpv4 ? 4 : 16;
    if (ReadSocksExactly(client, raw, length, deadline) != 0) return -1;
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(type == kAddressIpv4 ? AF_INET : AF_INET6, raw, text, sizeof text);
    target->address = text;
  } else if (type == kAddressName) {
    unsigned char length = 0;
    if (ReadSocksExactly(client, &length, 1, deadline) != 0 ||
        ReadSocksExactly(client, raw, length, deadline) != 0) {
      return -1;
    }
    target->name.assign(reinterpret_cast<char*>(raw), length);
  } else {
    return kAddressNotSupported;
  }
  unsigned char port[2];
  if (ReadSocksExactly(client, port, sizeof port, deadline) != 0) return -1;
  target->port = static_cast<uint16_t>(port[0] << 8 | port[1]);
  return 0;
}

// A name is resolved by the gateway, unless it is an address already.
int Resolve(engine::DialContext& dial, Target* target) {
  if (target->name.empty()) return 0;
  if (platform::IsIpv6Text(target->name) || platform::IsDottedAddress(target->name)) {
    target->address = target->name;
    return 0;
  }
  std::string canonical;
  return dial.ResolveTarget(target->name, &target->address, &canonical);
}

}  // namespace

int OpenSocks5(engine::FmCsHttpService& session, SocksClock::time_point deadline) {
  platform::Socket client = session.client_socket();
  if (!SelectMethod(client, deadline)) return -1;
  unsigned char request[4];
  if (ReadSocksExactly(client, request, sizeof request, deadline) != 0 || request[0] != kVersion) {
    return -1;
  }
  Target target;
  int read = ReadTarget(client, request[3], deadline, &target);
  if (read != 0) return read < 0 ? -1 : Refuse(client, static_cast<unsigned char>(read));
  if (request[1] != kConnect) return Refuse(client, kCommandNotSupported);
  engine::DialContext dial;
  if (Resolve(dial, &target) != 0) return Refuse(client, kHostUnreachable);
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeSocks),
                          session.client_address(), target.address, "") != 0 ||
      engine::TargetRefused(session.client_address(), target.address, target.port)) {
    return Refuse(client, kNotAllowed);
  }
  dial.ScreenTargetsAs(engine::RuleNumberFor(engine::kCodeSocks), session.client_address(), "");
  int error = 0;
  platform::Socket server = ConnectSocksTarget(dial, target.address, target.port, &error);
  if (server == platform::kInvalidSocket) return Refuse(client, CodeForConnectError(error));
  if (Reply(client, kSucceeded) != 0) {
    platform::CloseSocket(server);
    return -1;
  }
  session.set_server_socket(server);
  session.SelectForRelay(client);
  session.SelectForRelay(server);
  return 0;
}

}  // namespace proxies
