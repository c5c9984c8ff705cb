// POP3: greeting the client, reading account<server>, reaching the server and logging in.
// It resolves the server with the web proxy's ResolveTarget: the one place where the proxies
// use the web subsystem (the proxies library links web for it).
#include "gateway/proxies/pop3_opening.h"

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
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
#include "gateway/engine/session_account.h"
#include "gateway/engine/target_guard.h"
#include "gateway/web/resolve_target.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

using Clock = std::chrono::steady_clock;

enum class LineRead { kLine, kNothingYet, kTooLong, kFailed };

// Bytes read from one socket and not yet handed out as a line; at most kPop3LineLimit.
struct Pending {
  std::string bytes;
};

// Hands out the next line of at most kPop3LineLimit bytes (line feed included) into *line,
// reading as needed and keeping what follows it in *pending. A line that has begun is waited
// for up to kPop3LineWaitMs. Nothing read at all: kNothingYet when wait_ms is 0, else kFailed
// once wait_ms has passed.
LineRead ReadLine(platform::Socket s, int wait_ms, Pending* pending, std::string* line) {
  char buffer[kPop3LineLimit];
  auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  bool begun = !pending->bytes.empty();
  if (begun) deadline = Clock::now() + std::chrono::milliseconds(kPop3LineWaitMs);
  for (;;) {
    size_t feed = pending->bytes.find('\n');
    if (feed != std::string::npos) {
      *line = pending->bytes.substr(0, feed + 1);
      pending->bytes.erase(0, feed + 1);
      return LineRead::kLine;
    }
    if (pending->bytes.size() >= kPop3LineLimit) return LineRead::kTooLong;
    int r = platform::Recv(s, buffer, kPop3LineLimit - pending->bytes.size());
    if (r == 0) return LineRead::kFailed;
    if (r < 0) {
      if (platform::LastSocketError() != platform::kWsaEWouldBlock) return LineRead::kFailed;
      if (!begun && wait_ms == 0) return LineRead::kNothingYet;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      // The wait takes the session's messages: a kill ends it at once.
      if (left.count() <= 0 || engine::WaitInOpening(s, false, static_cast<int>(left.count())) !=
                                   engine::WaitResult::kReady) {
        return LineRead::kFailed;
      }
      continue;
    }
    if (!begun) deadline = Clock::now() + std::chrono::milliseconds(kPop3LineWaitMs);
    begun = true;
    pending->bytes.append(buffer, static_cast<size_t>(r));
  }
}

int Fail(platform::Socket client, const char* text) {
  std::string_view why(text);
  why.remove_prefix(std::min(why.find_first_not_of("-ERR "), why.size()));
  engine::NoteSessionEnding(std::string(why.substr(0, why.find('\r'))));
  [[maybe_unused]] int rc = platform::SendAll(client, text, std::strlen(text));
  return -1;
}

// The server side, from the connect to the USER line. 0 with the server socket handed to
// the session, or -1 after the client was told why.
int ReachServer(engine::FmCsHttpService& session, const std::string& address,
                const std::string& account, const std::string& after_user) {
  platform::Socket client = session.client_socket();
  platform::Socket server = platform::CreateSocket(SOCK_STREAM);
  if (server == platform::kInvalidSocket) return Fail(client, kPop3NetworkError);
  if (engine::DialContext().ConnectOut(server, address, kPop3Port) != 0) {
    platform::CloseSocket(server);
    return Fail(client, engine::Link().LinkStatus() == -1 ? kPop3NoDialer : kPop3Busy);
  }
  std::string greeting;
  Pending from_server;
  LineRead read = ReadLine(server, kPop3LineWaitMs, &from_server, &greeting);
  const char* refusal = nullptr;
  if (read == LineRead::kFailed) refusal = kPop3NetworkError;
  // A greeting without its line end within the buffer would leak its rest to the client.
  if (read == LineRead::kTooLong || (read == LineRead::kLine && !IsPop3Ready(greeting))) {
    refusal = kPop3InvalidGreeting;
  }
  // What the client sent after its log-in line (a pipelined PASS) follows the USER line.
  std::string user = "USER " + account + "\r\n" + after_user;
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

// Reads the log-in line, answering what a mail client asks before it (CAPA, AUTH, STLS)
// without closing. 0 with the line, 1 when nothing has arrived yet, -1 after a refusal.
int ReadLoginLine(platform::Socket client, Pending* pending, std::string* line) {
  auto deadline = Clock::now() + std::chrono::milliseconds(kPop3PreLoginWaitMs);
  for (int exchanges = 0;; ++exchanges) {
    // The first line may still be on its way (the opening then runs again on the next data);
    // a later one is waited for, within the bound of the whole exchange.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    int wait_ms = exchanges == 0
                      ? 0
                      : static_cast<int>(std::clamp<long long>(left.count(), 1, kPop3LineWaitMs));
    LineRead read = ReadLine(client, wait_ms, pending, line);
    if (read == LineRead::kNothingYet) return 1;
    if (read == LineRead::kTooLong) return Fail(client, kPop3FormatViolation);
    if (read == LineRead::kFailed) return Fail(client, kPop3NetworkError);
    const char* answer = Pop3PreLoginAnswer(*line);
    if (answer == nullptr) return 0;
    if (exchanges == kPop3PreLoginLimit) return Fail(client, kPop3FormatViolation);
    if (platform::SendAll(client, answer, std::strlen(answer)) != 0) return -1;
  }
}

int OpenWatched(engine::FmCsHttpService& session) {
  platform::Socket client = session.client_socket();
  Pending pending;
  std::string line;
  int read = ReadLoginLine(client, &pending, &line);
  if (read == 1) {
    platform::AsyncSelect(client, session.window(), engine::kMsgClientEvent,
                          platform::kFdRead | platform::kFdClose);
    return 0;
  }
  if (read != 0) return -1;
  std::string account;
  std::string domain;
  if (SplitPop3User(line, &account, &domain) != 0) return Fail(client, kPop3FormatViolation);
  engine::NoteSessionDestination(domain, kPop3Port);
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
  return ReachServer(session, address, account, pending.bytes);
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

const char* Pop3PreLoginAnswer(std::string_view line) {
  std::string_view word = line.substr(0, line.find_first_of(" \r\n"));
  auto is = [word](std::string_view name) {
    if (word.size() != name.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (std::toupper(static_cast<unsigned char>(word[i])) != name[i]) return false;
    }
    return true;
  };
  if (is("CAPA")) return kPop3Capabilities;
  if (is("AUTH") || is("STLS")) return kPop3NotSupported;
  return nullptr;
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
