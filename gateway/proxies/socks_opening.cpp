// SOCKS 4 and 4a CONNECT: reading the request without a busy wait, the name lookup of 4a, the
// rule check, the connection; and the choice between version 4 and version 5.
#include "gateway/proxies/socks_opening.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_account.h"
#include "gateway/engine/target_guard.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr int kSocksVersion = 4;
constexpr int kSocks5Version = 5;
constexpr int kSocksConnect = 1;
constexpr unsigned char kGranted[8] = {0, 90, 0, 0, 0, 0, 0, 0};
// "Request rejected or failed": a destination that could not be resolved or connected.
constexpr unsigned char kFailed[8] = {0, 91, 0, 0, 0, 0, 0, 0};

using Clock = SocksClock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads up to n bytes into buffer once data is there (peek: leaves them queued). The count, or
// -1 on a close, an error or the deadline.
int ReadSome(platform::Socket s, char* buffer, size_t n, int flags, Clock::time_point deadline) {
  for (;;) {
    // The wait takes the session's messages: a kill ends it at once.
    if (engine::WaitInOpening(s, false, MsLeft(deadline)) != engine::WaitResult::kReady) return -1;
    int r = platform::Recv(s, buffer, n, flags);
    if (r > 0) return r;
    if (r == 0 || platform::LastSocketError() != platform::kWsaEWouldBlock) return -1;
  }
}

// Consumes a zero-terminated field (user id, 4a host name) through its zero byte, and nothing
// after it; *text gets it without the zero when given.
int ReadThroughZero(platform::Socket s, Clock::time_point deadline, std::string* text) {
  char peek[kSocksUserIdLimit];
  size_t consumed = 0;
  while (consumed < kSocksUserIdLimit) {
    int r = ReadSome(s, peek, kSocksUserIdLimit - consumed, MSG_PEEK, deadline);
    if (r < 0) return -1;
    const void* zero = std::memchr(peek, 0, static_cast<size_t>(r));
    size_t take = zero ? static_cast<size_t>(static_cast<const char*>(zero) - peek) + 1
                       : static_cast<size_t>(r);
    if (ReadSocksExactly(s, peek, take, deadline) != 0) return -1;
    if (text != nullptr) text->append(peek, zero ? take - 1 : take);
    if (zero) return 0;
    consumed += take;
  }
  return -1;
}

// Version 4 and 4a after the version byte was seen.
int OpenSocks4(engine::FmCsHttpService& session) {
  platform::Socket client = session.client_socket();
  SocksRequest request;
  if (ReadSocksRequest(client, kSocksRequestWaitMs, &request) != 0 ||
      request.version != kSocksVersion || request.command != kSocksConnect) {
    return -1;
  }
  engine::NoteSessionDestination(request.host.empty() ? request.address : request.host,
                                 request.port);
  engine::DialContext dial;
  if (!request.host.empty()) {
    std::string canonical;
    if (dial.ResolveTarget(request.host, &request.address, &canonical) != 0) {
      engine::NoteSessionEnding(kSocksEndNoHost);
      [[maybe_unused]] int rc = platform::SendAll(client, kFailed, sizeof kFailed);
      return -1;
    }
  }
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeSocks),
                          session.client_address(), request.address, "") != 0 ||
      engine::TargetRefused(session.client_address(), request.address, request.port)) {
    [[maybe_unused]] int rc = platform::SendAll(client, kSocksDenied, sizeof kSocksDenied - 1);
    return -1;
  }
  dial.ScreenTargetsAs(engine::RuleNumberFor(engine::kCodeSocks), session.client_address(), "");
  int error = 0;
  platform::Socket server = ConnectSocksTarget(dial, request.address, request.port, &error);
  if (server == platform::kInvalidSocket) {
    engine::NoteSessionEnding(kSocksEndNoConnect);
    [[maybe_unused]] int rc = platform::SendAll(client, kFailed, sizeof kFailed);
    return -1;
  }
  if (platform::SendAll(client, kGranted, sizeof kGranted) != 0) {
    platform::CloseSocket(server);
    return -1;
  }
  session.set_server_socket(server);
  session.SelectForRelay(client);
  session.SelectForRelay(server);
  return 0;
}

}  // namespace

int ReadSocksExactly(platform::Socket s, void* buffer, size_t n, Clock::time_point deadline) {
  size_t got = 0;
  while (got < n) {
    int r = ReadSome(s, static_cast<char*>(buffer) + got, n - got, 0, deadline);
    if (r < 0) return -1;
    got += static_cast<size_t>(r);
  }
  return 0;
}

platform::Socket ConnectSocksTarget(engine::DialContext& dial, const std::string& address,
                                    uint16_t port, int* error) {
  platform::Socket server = platform::CreateSocket(SOCK_STREAM);
  if (server != platform::kInvalidSocket && dial.ConnectOut(server, address, port) == 0) {
    return server;
  }
  *error = platform::LastSocketError();
  if (server != platform::kInvalidSocket) platform::CloseSocket(server);
  return platform::kInvalidSocket;
}

int ReadSocksRequest(platform::Socket client, int wait_ms, SocksRequest* request) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  unsigned char head[8];
  if (ReadSocksExactly(client, head, sizeof head, deadline) != 0) return -1;
  request->version = head[0];
  request->command = head[1];
  request->port = static_cast<uint16_t>(head[2] << 8 | head[3]);
  in_addr address{};
  std::memcpy(&address, head + 4, 4);
  request->address = platform::DottedAddress(address);
  request->host.clear();
  if (ReadThroughZero(client, deadline, nullptr) != 0) return -1;
  // 0.0.0.x with x non-zero: a 4a request, whose host name follows the user id.
  if ((ntohl(address.s_addr) & 0xFFFFFF00u) != 0 || (ntohl(address.s_addr) & 0xFF) == 0) return 0;
  if (ReadThroughZero(client, deadline, &request->host) != 0 || request->host.empty()) return -1;
  return 0;
}

int OpenSocks(engine::FmCsHttpService& session) {
  platform::Socket client = session.client_socket();
  // The request is read here, synchronously; the relay selects the socket again.
  platform::AsyncSelect(client, session.window(), 0, 0);
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSocksRequestWaitMs);
  unsigned char version = 0;
  if (ReadSome(client, reinterpret_cast<char*>(&version), 1, MSG_PEEK, deadline) != 1) return -1;
  if (version == kSocks5Version) return OpenSocks5(session, deadline);
  return OpenSocks4(session);
}

}  // namespace proxies
