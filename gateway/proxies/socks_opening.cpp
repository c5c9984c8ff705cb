// SOCKS 4 CONNECT: reading the request without a busy wait, the rule check, the connection.
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
#include "gateway/engine/target_guard.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr int kSocksVersion = 4;
constexpr int kSocksConnect = 1;
constexpr unsigned char kGranted[8] = {0, 90, 0, 0, 0, 0, 0, 0};

using Clock = std::chrono::steady_clock;

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

int ReadExactly(platform::Socket s, char* buffer, size_t n, Clock::time_point deadline) {
  size_t got = 0;
  while (got < n) {
    int r = ReadSome(s, buffer + got, n - got, 0, deadline);
    if (r < 0) return -1;
    got += static_cast<size_t>(r);
  }
  return 0;
}

// Consumes the user id through its zero byte, and nothing after it.
int SkipUserId(platform::Socket s, Clock::time_point deadline) {
  char peek[kSocksUserIdLimit];
  size_t consumed = 0;
  while (consumed < kSocksUserIdLimit) {
    int r = ReadSome(s, peek, kSocksUserIdLimit - consumed, MSG_PEEK, deadline);
    if (r < 0) return -1;
    const void* zero = std::memchr(peek, 0, static_cast<size_t>(r));
    size_t take = zero ? static_cast<size_t>(static_cast<const char*>(zero) - peek) + 1
                       : static_cast<size_t>(r);
    if (ReadExactly(s, peek, take, deadline) != 0) return -1;
    if (zero) return 0;
    consumed += take;
  }
  return -1;
}

}  // namespace

int ReadSocksRequest(platform::Socket client, int wait_ms, SocksRequest* request) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  unsigned char head[8];
  if (ReadExactly(client, reinterpret_cast<char*>(head), sizeof head, deadline) != 0) return -1;
  request->version = head[0];
  request->command = head[1];
  request->port = static_cast<uint16_t>(head[2] << 8 | head[3]);
  in_addr address{};
  std::memcpy(&address, head + 4, 4);
  request->address = platform::DottedAddress(address);
  return SkipUserId(client, deadline);
}

int OpenSocks(engine::FmCsHttpService& session) {
  platform::Socket client = session.client_socket();
  // The request is read here, synchronously; the relay selects the socket again.
  platform::AsyncSelect(client, session.window(), 0, 0);
  SocksRequest request;
  if (ReadSocksRequest(client, kSocksRequestWaitMs, &request) != 0 ||
      request.version != kSocksVersion || request.command != kSocksConnect) {
    return -1;
  }
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeSocks),
                          session.client_address(), request.address, "") != 0 ||
      engine::TargetRefused(session.client_address(), request.address, request.port)) {
    [[maybe_unused]] int rc = platform::SendAll(client, kSocksDenied, sizeof kSocksDenied - 1);
    return -1;
  }
  platform::Socket server = platform::CreateSocket(SOCK_STREAM);
  if (server == platform::kInvalidSocket) return -1;
  if (engine::DialContext().ConnectOut(server, request.address, request.port) != 0 ||
      platform::SendAll(client, kGranted, sizeof kGranted) != 0) {
    platform::CloseSocket(server);
    return -1;
  }
  session.set_server_socket(server);
  session.SelectForRelay(client);
  session.SelectForRelay(server);
  return 0;
}

}  // namespace proxies
