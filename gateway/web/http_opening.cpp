// OpenHttp. One HttpOpening object lives for one call and holds the request-time values;
// every failure is answered in one place (Answer) before the session ends.
#include "gateway/web/http_opening.h"

#include <sys/socket.h>

#include <memory>
#include <string>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_account.h"
#include "gateway/engine/target_guard.h"
#include "gateway/web/cache_request.h"
#include "gateway/web/error_pages.h"
#include "gateway/web/persistent_request.h"
#include "gateway/web/request_framing.h"
#include "gateway/web/request_head.h"
#include "gateway/web/request_line.h"
#include "gateway/web/resolve_target.h"
#include "gateway/web/response_framing.h"
#include "gateway/web/send_whole.h"

namespace web {
namespace {

class HttpOpening {
 public:
  explicit HttpOpening(engine::FmCsHttpService& session)
      : session_(session), client_(session.client_socket()) {}

  int Run();

 private:
  int ReadRequest();
  int LimitToOneRequest();
  // Sends the request over server (a kept connection), or over a new one when that is
  // kInvalidSocket.
  int ConnectAndForward(int port, platform::Socket server);
  // Ends the opening; the session closes both sockets.
  int End() { return -1; }
  int AnswerPage(const char* message);
  int AnswerText(const char* text);
  // The page for a failed lookup or connect: the dialler's, or the given one.
  const char* UnreachablePage(const char* otherwise) {
    return engine::Link().LinkStatus() == -1 ? kCouldNotConnectMessage : otherwise;
  }

  engine::FmCsHttpService& session_;
  platform::Socket client_;
  engine::DialContext dial_;
  std::string request_;
  std::string host_text_;
  std::string address_;
  bool is_connect_ = false;
  bool keep_alive_ = false;  // the client connection outlives this request
  std::string behind_head_;  // client bytes read behind the header block
};

int HttpOpening::AnswerPage(const char* message) {
  engine::NoteSessionEnding(AnswerEnding(message));
  SendErrorPage(client_, message);
  FinishAnswer(client_);
  return End();
}

int HttpOpening::AnswerText(const char* text) {
  engine::NoteSessionEnding(AnswerEnding(text));
  SendBareText(client_, text);
  FinishAnswer(client_);
  return End();
}

int HttpOpening::ReadRequest() {
  request_ = session_.TakePendingRequest();
  switch (CollectRequestHead(client_, kRequestWaitMs, &request_)) {
    case HeadResult::kComplete:
      return 0;
    case HeadResult::kViolation:
      return AnswerText(kProtocolViolation);
    case HeadResult::kRecvError:
      return AnswerText(kDataRetriveFailure);
    case HeadResult::kNoMemory:
      return AnswerText(kMemoryFailure);
    case HeadResult::kNothing:
    case HeadResult::kClosed:
      break;
  }
  return End();
}

int HttpOpening::Run() {
  // Every wait of the opening takes the session's messages; a client that half-closes after
  // its request still gets its answer.
  if (ReadRequest() != 0) return -1;
  // The rewrite keeps only the method of a CONNECT: what follows its header block (a TLS
  // hello) is kept apart for the tunnel.
  size_t head_end = HeadEnd(request_);
  if (head_end != std::string::npos && head_end < request_.size()) {
    behind_head_ = request_.substr(head_end);
  }
  std::string host;
  int port = 0;
  if (RewriteRequestLine(&request_, &host_text_, &is_connect_) != 0 ||
      SplitHostText(host_text_, &host, &port) != 0) {
    return AnswerText(kProtocolViolation);
  }
  engine::NoteSessionDestination(host, port);
  // A tunnel may lead to the secure web port only; nothing is sent anywhere for another.
  if (is_connect_ && port != kConnectPort) return AnswerPage(kAccessDeniedMessage);
  // An HTTP/1.1 client's connection carries one request after another, each answered with
  // framing the relay follows. For any other client the server must close after answering,
  // and its answer tells the client not to reuse this connection.
  if (!is_connect_) {
    keep_alive_ = WantsKeepAlive(request_);
    request_ = keep_alive_ ? PersistentRequestHeaders(request_) : CloseConnectionHeaders(request_);
    if (LimitToOneRequest() != 0) return AnswerText(kProtocolViolation);
  }
  int target = ResolveTarget(host_text_, &address_, dial_);
  const std::string& client_address = session_.client_address();
  // The rules see the request before the lookup result is looked at.
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeWww),
                          client_address, address_, request_) != 0 ||
      engine::TargetRefused(client_address, address_, target)) {
    return AnswerPage(kAccessDeniedMessage);
  }
  dial_.ScreenTargetsAs(engine::RuleNumberFor(engine::kCodeWww), client_address, request_);
  if (target == kLookupFailed) return AnswerPage(UnreachablePage(kHostNotFoundMessage));
  std::string forwarded = request_;
  if (CacheRequest(client_, &request_, host_text_, &session_.cache()) == 0) {
    // Framed like a server's answer; a kept server connection is not used again.
    if (keep_alive_) {
      session_.KeepAlive(std::make_unique<ResponseFraming>(IsHeadRequest(request_)), "");
    }
    return session_.ServeStoredAnswer();  // relayed as fast as the client reads
  }
  // The server connection of the previous request serves this one when it leads to the same
  // host text and is still open.
  platform::Socket kept = session_.ReuseServer(keep_alive_ ? host_text_ : std::string());
  if (keep_alive_) {
    // The cache's own conditional request asks the server to close after its answer.
    std::string reusable_for = request_ == forwarded ? host_text_ : std::string();
    session_.KeepAlive(std::make_unique<ResponseFraming>(IsHeadRequest(request_)), reusable_for);
  }
  return ConnectAndForward(target, kept);
}

// Keeps the header block and the body it announces; bytes behind them (a pipelined request)
// wait for the next turn on a kept connection and are dropped otherwise, and the session
// forwards no more than the rest of this body.
int HttpOpening::LimitToOneRequest() {
  size_t head_end = HeadEnd(request_);
  if (head_end == std::string::npos) return -1;
  auto framing = std::make_unique<RequestFraming>();
  if (!framing->Start(request_.substr(0, head_end))) return -1;
  size_t end =
      head_end + framing->TakeClientBytes(request_.data() + head_end, request_.size() - head_end);
  if (keep_alive_) session_.KeepPendingRequest(request_.substr(end));
  request_.resize(end);
  session_.set_request_gate(std::move(framing));
  return 0;
}

int HttpOpening::ConnectAndForward(int port, platform::Socket server) {
  if (server == platform::kInvalidSocket) {
    server = platform::CreateSocket(SOCK_STREAM);
    if (server == platform::kInvalidSocket) return AnswerText(kErrorInHostConnect);
    session_.set_server_socket(server);  // from here the session closes it
    if (dial_.ConnectOut(server, address_, static_cast<uint16_t>(port)) != 0) {
      return AnswerPage(UnreachablePage(kHostMayBeBusyMessage));
    }
  }
  if (is_connect_) {
    if (SendWhole(client_, kConnectEstablished, sizeof kConnectEstablished - 1) != 0) {
      return End();
    }
    // Bytes the client sent behind its header block (a TLS hello) belong in the tunnel.
    if (!behind_head_.empty() && SendWhole(server, behind_head_.data(), behind_head_.size()) != 0) {
      return End();
    }
    session_.set_tunnel();
  } else if (SendWhole(server, request_.data(), request_.size()) != 0) {
    return AnswerText(kErrorInSendingData);
  }
  session_.SelectForRelay(client_);
  session_.SelectForRelay(server);
  return 0;
}

}  // namespace

int OpenHttp(engine::FmCsHttpService& session) {
  HttpOpening opening(session);
  return opening.Run();
}

}  // namespace web
