// SOCKS version 5 (RFC 1928) CONNECT without authentication: method selection, the request
// with an IPv4 address, a domain name (resolved by the gateway) or an IPv6 literal, the rule
// check as for version 4, and a reply that says in the protocol's codes how it went. The bytes
// are read as far as socks5_request.h's parser asks for them.
// Runs on the session's own thread, inside OpenSocks.
#include <arpa/inet.h>
#include <sys/socket.h>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_account.h"
#include "gateway/engine/target_guard.h"
#include "gateway/proxies/socks5_request.h"
#include "gateway/proxies/socks_opening.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr unsigned char kVersion = 5;
constexpr unsigned char kNoAuthentication = 0x00;
constexpr unsigned char kNoAcceptableMethod = 0xFF;
constexpr unsigned char kAddressIpv4 = 1;

// A reply with an IPv4 bound address of zeros: clients of CONNECT do not use it.
int Reply(platform::Socket client, unsigned char code) {
  const unsigned char reply[10] = {kVersion, code, 0, kAddressIpv4, 0, 0, 0, 0, 0, 0};
  return platform::SendAll(client, reply, sizeof reply) == 0 ? 0 : -1;
}

// A failed reply, after which the session ends; its access-log line says why (a rule's
// refusal was noted as "denied" already and stays).
int Refuse(platform::Socket client, unsigned char code) {
  engine::NoteSessionEnding(code == kSocks5HostUnreachable ? kSocksEndNoHost
                            : code == kSocks5Refused || code == kSocks5NetworkUnreachable
                                ? kSocksEndNoConnect
                                : "SOCKS reply " + std::to_string(code));
  [[maybe_unused]] int rc = Reply(client, code);
  return -1;
}

unsigned char CodeForConnectError(int error) {
  switch (error) {
    case platform::kWsaEConnRefused:
      return kSocks5Refused;
    case platform::kWsaENetUnreach:
    case platform::kWsaENetDown:
      return kSocks5NetworkUnreachable;
    case platform::kWsaEHostUnreach:
    case platform::kWsaETimedOut:
      return kSocks5HostUnreachable;
    default:
      return kSocks5GeneralFailure;
  }
}

// Reads a message into buffer (limit bytes) exactly as far as parse asks for, so nothing after
// it is taken from the socket. The parser's last verdict, or kMalformed when the client
// closed, failed or fell silent before the message was whole.
template <typename Parse>
Socks5Parse ReadMessage(platform::Socket client, unsigned char* buffer, size_t limit,
                        SocksClock::time_point deadline, Parse parse) {
  size_t have = 0;
  // Each round reads at least one more byte, and never beyond limit.
  for (;;) {
    size_t need = 0;
    Socks5Parse verdict = parse(buffer, have, &need);
    if (verdict != Socks5Parse::kNeedMore) return verdict;
    if (need <= have || need > limit ||
        ReadSocksExactly(client, buffer + have, need - have, deadline) != 0) {
      return Socks5Parse::kMalformed;
    }
    have = need;
  }
}

// Method selection: true when the client offers no authentication, after saying so.
bool SelectMethod(platform::Socket client, SocksClock::time_point deadline) {
  unsigned char buffer[kSocks5GreetingLimit];
  Socks5Greeting greeting;
  Socks5Parse verdict =
      ReadMessage(client, buffer, sizeof buffer, deadline,
                  [&greeting](const unsigned char* data, size_t size, size_t* need) {
                    return ParseSocks5Greeting(data, size, need, &greeting);
                  });
  if (verdict != Socks5Parse::kComplete) return false;
  bool offered = greeting.no_authentication;
  const unsigned char answer[2] = {kVersion, offered ? kNoAuthentication : kNoAcceptableMethod};
  return platform::SendAll(client, answer, sizeof answer) == 0 && offered;
}

// A name is resolved by the gateway, unless it is an address already.
int Resolve(engine::DialContext& dial, Socks5Target* target) {
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
  unsigned char buffer[kSocks5RequestLimit];
  Socks5Target target;
  unsigned char code = kSocks5GeneralFailure;
  Socks5Parse verdict =
      ReadMessage(client, buffer, sizeof buffer, deadline,
                  [&target, &code](const unsigned char* data, size_t size, size_t* need) {
                    return ParseSocks5Request(data, size, need, &target, &code);
                  });
  if (verdict == Socks5Parse::kMalformed) return -1;
  if (!target.name.empty() || !target.address.empty()) {
    engine::NoteSessionDestination(target.name.empty() ? target.address : target.name, target.port);
  }
  if (verdict == Socks5Parse::kRefused) return Refuse(client, code);
  engine::DialContext dial;
  if (Resolve(dial, &target) != 0) return Refuse(client, kSocks5HostUnreachable);
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeSocks),
                          session.client_address(), target.address, "") != 0 ||
      engine::TargetRefused(session.client_address(), target.address, target.port)) {
    return Refuse(client, kSocks5NotAllowed);
  }
  dial.ScreenTargetsAs(engine::RuleNumberFor(engine::kCodeSocks), session.client_address(), "");
  int error = 0;
  platform::Socket server = ConnectSocksTarget(dial, target.address, target.port, &error);
  if (server == platform::kInvalidSocket) return Refuse(client, CodeForConnectError(error));
  if (Reply(client, kSocks5Succeeded) != 0) {
    platform::CloseSocket(server);
    return -1;
  }
  session.set_server_socket(server);
  session.SelectForRelay(client);
  session.SelectForRelay(server);
  return 0;
}

}  // namespace proxies
