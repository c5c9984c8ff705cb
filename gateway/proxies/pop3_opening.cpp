// POP3: greeting the client, reading account<server>, reaching the server and logging in.
// It resolves the server with the web proxy's ResolveTarget: the one place where the proxies
// use the web subsystem (the proxies library links web for it).
#include "gateway/proxies/pop3_opening.h"

#include <sys/socket.h>

#include <chrono>
#include <cstring>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/net_dispatcher.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/target_guard.h"
#include "gateway/web/resolve_target.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

using Clock = std::chrono::steady_clock;

enum class LineRead { kLine, kNothingYet, kTooLong, kFailed };

// Reads one line of at most kPop3LineLimit bytes (line feed included) into *line, waiting up
// to kPop3LineWaitMs for the rest once it has begun. Nothing read at all: kNothingYet when
// would_block_ok, else kFailed after the wait.
LineRead ReadLine(platform::Socket s, bool would_block_ok, std::string* line) {
  char buffer[kPop3LineLimit];
  size_t used = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(kPop3LineWaitMs);
  while (used < sizeof buffer) {
    int r = platform::Recv(s, buffer + used, sizeof buffer - used);
    if (r == 0) return LineRead::kFailed;
    if (r < 0) {
      if (platform::LastSocketError() != platform::kWsaEWouldBlock) return LineRead::kFailed;
      if (used == 0 && would_block_ok) return LineRead::kNothingYet;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      // The wait takes the session's messages: a kill ends it at once.
      if (left.count() <= 0 || engine::WaitInOpening(s, false, static_cast<int>(left.count())) !=
                                   engine::WaitResult::kReady) {
        return LineRead::kFailed;
      }
      continue;
    }
    used += static_cast<size_t>(r);
    if (std::memchr(buffer, '\n', used) != nullptr) {
      line->assign(buffer, used);
      return LineRead::kLine;
    }
  }
  return LineRead::kTooLong;
}

int Fail(platform::Socket client, const char* text) {
  [[maybe_unused]] int rc = platform::SendAll(client, text, std::strlen(text));
  return -1;
}

// The server side, from the connect to the USER line. 0 with the server socket handed to
// the session, or -1 after the client was told why.
int ReachServer(engine::FmCsHttpService& session, const std::string& address,
                const std::string& account) {
  platform::Socket client = session.client_socket();
  platform::Socket server = platform::CreateSocket(SOCK_STREAM);
  if (server == platform::kInvalidSocket) return Fail(client, kPop3NetworkError);
  if (engine::DialContext().ConnectOut(server, address, kPop3Port) != 0) {
    platform::CloseSocket(server);
    return Fail(client, engine::Link().LinkStatus() == -1 ? kPop3NoDialer : kPop3Busy);
  }
  std::string greeting;
  LineRead read = ReadLine(server, false, &greeting);
  const char* refusal = nullptr;
  if (read == LineRead::kFailed) refusal = kPop3NetworkError;
  // A greeting without its line end within the buffer would leak its rest to the client.
  if (read == LineRead::kTooLong || (read == LineRead::kLine && !IsPop3Ready(greeting))) {
    refusal = kPop3InvalidGreeting;
  }
  std::string user = "USER " + account + "\r\n";
  if (refusal == nullptr && platform::SendAll(server, user.data(), user.size()) != 0) {
    refusal = kPop3NetworkError;
  }
  if (refusal != nullptr) {
    platform::CloseSocket(server);
    return Fail(client, refusal);
  }
  session.set_server_socket(server);
  session.SelectForRelay(client);
  session.SelectForRelay(server);
  return 0;
}

int OpenWatched(engine::FmCsHttpService& session) {
  platform::Socket client = session.client_socket();
  std::string line;
  switch (ReadLine(client, true, &line)) {
    case LineRead::kLine:
      break;
    case LineRead::kNothingYet:
      platform::AsyncSelect(client, session.window(), engine::kMsgClientEvent,
                            platform::kFdRead | platform::kFdClose);
      return 0;
    case LineRead::kTooLong:
      return Fail(client, kPop3FormatViolation);
    case LineRead::kFailed:
      return Fail(client, kPop3NetworkError);
  }
  std::string account;
  std::string domain;
  if (SplitPop3User(line, &account, &domain) != 0) return Fail(client, kPop3FormatViolation);
  engine::DialContext dial;
  std::string address;
  if (web::ResolveTarget(domain, &address, dial) < 0) {
    return Fail(client, engine::Link().LinkStatus() == -1 ? kPop3NoDialer : kPop3DomainNotFound);
  }
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodePop3),
                          session.client_address(), address, "") != 0 ||
      engine::TargetRefused(session.client_address(), address, kPop3Port)) {
    return Fail(client, kPop3Denied);
  }
  return ReachServer(session, address, account);
}

}  // namespace

int SplitPop3User(std::string_view line, std::string* account, std::string* domain) {
  size_t blank = line.find(' ');
  if (blank == 0 || blank == std::string_view::npos) return -1;
  size_t open = line.find('<', blank + 1);
  if (open == std::string_view::npos || open == blank + 1) return -1;
  size_t close = line.find('>', open + 1);
  if (close == std::string_view::npos || close == open + 1) return -1;
  *account = std::string(line.substr(blank + 1, open - blank - 1));
  *domain = std::string(line.substr(open + 1, close - open - 1));
  return 0;
}

bool IsPop3Ready(std::string_view greeting) {
  size_t end = greeting.find_first_of(" \r\n");
  return greeting.substr(0, end) == "+OK";
}

int GreetPop3(engine::FmCsHttpService& session) {
  return platform::SendAll(session.client_socket(), kPop3Ready, sizeof kPop3Ready - 1) == 0 ? 0
                                                                                            : -1;
}

int OpenPop3(engine::FmCsHttpService& session) {
  platform::Socket client = session.client_socket();
  // While the opening runs, a client that leaves is seen by the NetMsg thread.
  engine::WatchClientClose(client, engine::kMsgPop3ClientClosed);
  int result = OpenWatched(session);
  engine::UnwatchClientClose(client);
  return result;
}

}  // namespace proxies
