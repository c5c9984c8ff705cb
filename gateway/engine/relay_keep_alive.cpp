// The WWW session between two requests on a kept-alive client connection: the end of one
// request (its cache close rules, its Connections entry and log line), the wait for the next
// one, and the server connection kept for a later request to the same host.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/relay_openings.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_list.h"
#include "platform/socket_errors.h"

namespace engine {

void FmCsHttpService::KeepAlive(std::unique_ptr<ResponseGate> gate,
                                const std::string& server_host) {
  response_gate_ = std::move(gate);
  server_host_ = server_host;
}

platform::Socket FmCsHttpService::ReuseServer(const std::string& host_text) {
  if (server_socket_ == platform::kInvalidSocket) return platform::kInvalidSocket;
  bool open = false;
  if (!server_host_.empty() && server_host_ == host_text) {
    // A server that closed its idle connection (or sent bytes nobody asked for) is not used.
    char byte = 0;
    int n = platform::Recv(server_socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    open = n < 0 && platform::LastSocketError() == platform::kWsaEWouldBlock;
  }
  if (open) return server_socket_;
  platform::CloseSocket(server_socket_);
  server_socket_ = platform::kInvalidSocket;
  server_host_.clear();
  return platform::kInvalidSocket;
}

void FmCsHttpService::EndRequest() {
  Unregister();
  account().LogNow();
}

bool FmCsHttpService::AwaitNextRequest() {
  if (CacheHook* hook = GetCacheHook()) {
    // The answer ended where its framing says: a stored copy of it is whole.
    if (cache_.state != kCachePassThrough) hook->ResponseEnded(*this);
    hook->CloseCacheFile(*this);
  }
  cache_ = CacheFields{};
  bool reuse = response_gate_->ServerReusable();
  bool go_on = response_gate_->ClientMayContinue();
  response_gate_.reset();
  request_gate_.reset();
  relay_->Stop();
  relay_ = std::make_unique<RelayPair>();
  relay_started_ = false;
  if (served_file_ >= 0) close(served_file_);
  served_file_ = -1;
  if (!reuse && server_socket_ != platform::kInvalidSocket) {
    platform::CloseSocket(server_socket_);
    server_socket_ = platform::kInvalidSocket;
    server_host_.clear();
  }
  EndRequest();
  if (!go_on) return false;
  // Between requests only the keep-alive bound applies: 60 s, or the service's TimeoutAfter
  // when shorter, whether its TimeOut is on or not.
  if (timer_set_) platform::KillTimer(window_, kRelayIdleTimer);
  timer_set_ = false;
  platform::KillTimer(window_, kOpeningTimer);
  between_requests_ = true;
  int idle = kKeepAliveIdleSeconds;
  int after = Services().TimeoutAfterFor(listening_socket_);
  if (after > 0) idle = std::min(idle, after);
  platform::SetTimer(window_, kKeepAliveTimer, static_cast<unsigned>(idle) * 1000u);
  platform::AsyncSelect(client_socket_, window_, kMsgClientEvent,
                        platform::kFdRead | platform::kFdClose);
  // A pipelined request already read announces itself.
  if (!pending_request_.empty()) {
    platform::PostMessage(window_, kMsgClientEvent, static_cast<platform::Wparam>(client_socket_),
                          platform::MakeSelectLparam(platform::kFdRead, 0));
  }
  return true;
}

}  // namespace engine
