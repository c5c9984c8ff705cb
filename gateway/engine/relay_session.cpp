// The relay session's thread body, its message handling and the mapped-link opening.
// The byte moving itself (RelayData and the close rules) is in relay_data.cpp.
#include "gateway/engine/relay_session.h"

#include <sys/socket.h>
#include <unistd.h>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/net_dispatcher.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/engine/relay_openings.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"

namespace engine {

FmCsHttpService::FmCsHttpService(platform::Socket listening_socket, int idle_timeout,
                                 int service_code)
    : SessionThread(listening_socket, idle_timeout, service_code) {}

FmCsHttpService::~FmCsHttpService() = default;

void FmCsHttpService::SelectForRelay(platform::Socket) {
  if (relay_started_ || client_socket_ == platform::kInvalidSocket ||
      server_socket_ == platform::kInvalidSocket) {
    return;
  }
  relay_started_ = true;
  // A WWW request's client may close its sending side after the request: it still gets the
  // whole answer. Every other kind (and a tunnel) passes a half-close on.
  relay_->set_pass_half_close(service_code_ != kCodeWww || tunnel_);
  if (service_code_ == kCodeWww && !tunnel_) {
    relay_->SetInspector(RelayPair::kDown, this);
    relay_->SetInspector(RelayPair::kUp, &gate_inspector_);
  }
  [[maybe_unused]] int rc = relay_->Start(client_socket_, server_socket_, window_, kMsgRelayEvent);
}

int FmCsHttpService::ServeStoredAnswer() {
  int fd = cache_.serve_fd;
  cache_.serve_fd = -1;
  if (fd < 0) return -1;
  if (relay_started_) {
    // The origin's answer (a confirmation of the stored copy) is dropped with its server.
    relay_->Stop();
    relay_ = std::make_unique<RelayPair>();
    relay_started_ = false;
    platform::CloseSocket(server_socket_);
    server_socket_ = platform::kInvalidSocket;
    response_gate_.reset();  // it framed the confirmation; the stored copy ends the session
  } else if (response_gate_) {
    // Asked for on a kept connection: the stored answer is framed like a server's.
    cache_.state = kCachePassThrough;
    relay_->SetInspector(RelayPair::kDown, this);
  }
  if (ServeFile(fd, cache_.serve_offset) == 0) return 0;
  if (served_file_ != fd) close(fd);
  return -1;
}

int FmCsHttpService::ServeFile(int fd, off_t offset) {
  if (relay_started_ || client_socket_ == platform::kInvalidSocket) return -1;
  relay_started_ = true;
  served_file_ = fd;
  if (relay_->Start(client_socket_, platform::kInvalidSocket, window_, kMsgRelayEvent) != 0) {
    return -1;
  }
  relay_->ServeFile(fd, offset);
  return 0;
}

void FmCsHttpService::SendText(const std::string& text) {
  if (client_socket_ != platform::kInvalidSocket) {
    [[maybe_unused]] int rc = platform::SendAll(client_socket_, text.data(), text.size());
  }
}

void FmCsHttpService::ArmIdleTimer() {
  if (idle_timeout_ == -1) return;
  active_ = true;
  platform::SetTimer(window_, kRelayIdleTimer, static_cast<unsigned>(idle_timeout_) * 1000u);
  timer_set_ = true;
}

// Steps before the message loop; false ends the session at once.
bool FmCsHttpService::Start() {
  if (!AcceptClient()) return false;  // no client: nothing to serve or to register
  if (service_code_ == kCodeWww || service_code_ == kCodePop3 || service_code_ == kCodeSocks) {
    Register(service_code_);
    if (service_code_ == kCodePop3) {
      Greeting greet = GreetingFor(kCodePop3);
      if (greet && greet(*this) == -1) {
        SendText(kPop3NotResponded);
        DrainAfterAnswer(client_socket_);
        return false;
      }
    }
    platform::AsyncSelect(client_socket_, window_, kMsgClientEvent,
                          platform::kFdRead | platform::kFdClose);
    // Whatever the service's time-out, an opening that does not finish is bounded.
    platform::SetTimer(window_, kOpeningTimer, kOpeningCheckMs);
  } else {
    int code = OpenMappedLink();
    if (code == -1) {
      NoteSessionEnding(kE10026);  // a denial noted first stays
      SendText(std::string("Wayfarer v2.0 ") + kE10026 + "\r\n");
      DrainAfterAnswer(client_socket_);
      return false;
    }
    Register(code);
  }
  ArmIdleTimer();
  return true;
}

int FmCsHttpService::Run() {
  if (Start()) {
    platform::Message msg;
    while (platform::GetMessage(&msg) && PreTranslateMessage(msg)) {
    }
  }
  int code = ExitInstance();
  // A connection already waiting on the listener is served by this thread next.
  FollowWithWaitingClient(service_code_, listening_socket_);
  return code;
}

bool FmCsHttpService::PreTranslateMessage(platform::Message& msg) {
  switch (msg.message) {
    case platform::kWmTimer:
      return msg.target != window_ || HandleTimer(msg.wparam);
    case kMsgRelayEvent:
      return msg.target != window_ ||
             RelayEvent(static_cast<platform::Socket>(msg.wparam), msg.lparam);
    case kMsgClientEvent:
      return msg.target != window_ || HandleClientEvent(msg.lparam);
    case kMsgKillSession:
      if (msg.target != 0) return true;
      NoteKilled();
      CloseSession();
      return false;
    default:
      return true;
  }
}

bool FmCsHttpService::HandleClientEvent(long lparam) {
  if (relay_started_) return true;  // announced before the relay took the socket over
  bool closed = platform::SelectEvent(lparam) == platform::kFdClose;
  if (platform::SelectError(lparam) != 0) return false;
  if (between_requests_) {
    // A client that leaves between requests is done; one that sent its next request
    // before leaving still gets it answered.
    if (closed && pending_request_.empty()) return false;
    between_requests_ = false;
    platform::KillTimer(window_, kKeepAliveTimer);
    Register(service_code_);
  } else if (closed) {
    return false;
  }
  opening_.Progress();
  Opening open = OpeningFor(service_code_);
  if (!open) return true;
  if (open(*this) == -1) return false;
  if (idle_timeout_ != -1) ArmIdleTimer();
  return true;
}

int FmCsHttpService::ExitInstance() {
  CloseSession();
  if (CacheHook* hook = GetCacheHook(); hook && service_code_ == kCodeWww) {
    hook->CloseCacheFile(*this);
  }
  return 0;
}

void FmCsHttpService::CloseSession() {
  if (closed_) return;
  closed_ = true;
  if (timer_set_) platform::KillTimer(window_, kRelayIdleTimer);
  timer_set_ = false;
  relay_->Stop();
  Unregister();
  CloseSockets();  // closing also ends both sockets' event selections
  for (int* fd : {&served_file_, &cache_.serve_fd}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

namespace {

// The listener's target caches only its first address: when that one fails, a target given
// by name is looked up again and its other addresses are tried in turn, each only when the
// mapping's rules allow it. 0 or -1.
int ConnectMappedTarget(DialContext& dial, platform::Socket listening, platform::Socket s,
                        const std::string& client, const std::string& address, int port, int code) {
  if (ConnectInOpening(s, address, static_cast<uint16_t>(port)) == 0) return 0;
  if (KilledInOpening()) return -1;
  std::string host;
  for (const ServiceEntry& e : Services().Snapshot()) {
    if (e.listening_socket == listening) host = e.DefaultHost;
  }
  std::string first, canonical;
  if (host.empty() || platform::IsDottedAddress(host) || platform::IsIpv6Text(host) ||
      dial.ResolveTarget(host, &first, &canonical) != 0) {
    return -1;
  }
  dial.ScreenTargetsAs(RuleNumberFor(code), client, "");
  for (const std::string& other : dial.ScreenedTargets(static_cast<uint16_t>(port))) {
    if (other == address) continue;
    if (platform::RenewSocket(s) != 0) return -1;
    if (ConnectInOpening(s, other, static_cast<uint16_t>(port)) == 0) return 0;
    if (KilledInOpening()) return -1;
  }
  return -1;
}

}  // namespace

int FmCsHttpService::OpenMappedLink() {
  DialContext dial;
  if (client_socket_ == platform::kInvalidSocket || dial.EnsureLink() != 0) return -1;
  int code = Services().ServiceCodeForSocket(listening_socket_);
  if (code == -1) return -1;
  std::string address;
  int port = 0;
  auto resolve = [&dial](const std::string& name, std::string* dotted) {
    std::string canonical;
    return dial.ResolveTarget(name, dotted, &canonical);
  };
  if (Services().MappedTargetFor(listening_socket_, &address, &port, resolve) != 0) return -1;
  std::string mapping;
  Services().ServiceNameForSocket(listening_socket_, &mapping);
  account().SetDestination(mapping);
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  if (s == platform::kInvalidSocket) return -1;
  if (CheckAccess(kMatchByAddress, RuleNumberFor(code), client_address_, address, "") != 0) {
    // The text and its terminating zero byte, as the clients have always received it.
    [[maybe_unused]] int rc =
        platform::SendAll(client_socket_, kAccessDeniedText, sizeof kAccessDeniedText);
    platform::CloseSocket(s);
    return -1;
  }
  // One attempt per address: the link was made sure of above.
  if (address.empty() ||
      ConnectMappedTarget(dial, listening_socket_, s, client_address_, address, port, code) != 0) {
    platform::CloseSocket(s);
    return -1;
  }
  server_socket_ = s;
  SelectForRelay(client_socket_);
  SelectForRelay(server_socket_);
  return code;
}

}  // namespace engine
