// The relay session's relay events, its timers, the web cache's look at response bytes and
// the cache's close rules, applied on what was really delivered to the client.
#include <sys/socket.h>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/relay_openings.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"

namespace engine {
namespace {

// After the client left while the cache stored the answer, the server is watched this long
// for its close (which keeps the stored answer) or more bytes (which drop it).
constexpr unsigned kServerWatchMs = 50 * 1000;

}  // namespace

bool FmCsHttpService::Inspecting() {
  return cache_.state != kCachePassThrough && GetCacheHook() != nullptr;
}

int FmCsHttpService::Inspect(char* data, size_t* n) {
  CacheHook* hook = GetCacheHook();
  return hook ? hook->CacheResponseChunk(*this, data, *n) : -1;
}

int FmCsHttpService::GateInspector::Inspect(char* data, size_t* n) {
  size_t own = owner_.request_gate_->TakeClientBytes(data, *n);
  if (own == *n) return -1;
  // Bytes past the forwarded request would reach its server unchecked: what belongs to the
  // request is still delivered, then the session ends.
  *n = own;
  return 1;
}

// Response bytes wait while the cache reads the header block.
bool FmCsHttpService::Holding() {
  return cache_.state != kCacheStoring && cache_.state != kCachePassThrough;
}

bool FmCsHttpService::HandleTimer(uintptr_t id) {
  if (id == kRelayWatchTimer) {
    if (relay_->OnWatchTimer() == RelayPair::Result::kGoOn) return true;
    NoteSessionEnding(kEndStalled);
    return false;
  }
  if (id == kServerWatchTimer) {
    if (CacheHook* hook = GetCacheHook()) hook->DiscardCacheFile(*this);
    return false;
  }
  if (id == kOpeningTimer) {
    if (relay_started_) platform::KillTimer(window_, kOpeningTimer);
    if (relay_started_ || opening_.LeftMs() > 0) return true;
    NoteIdleEnd();  // the client never finished its opening
    return false;
  }
  if (id != kRelayIdleTimer) return true;
  bool moved = relay_->TakeActivity();
  if (!active_ && !moved) {
    NoteIdleEnd();  // idle for a whole period
    return false;
  }
  active_ = false;
  return true;
}

bool FmCsHttpService::RelayEvent(platform::Socket s, platform::Lparam lparam) {
  active_ = true;
  if (watching_server_) return WatchedServerEvent(s, lparam);
  RelayPair::Result result = relay_->OnSocketEvent(s, lparam);
  if (result == RelayPair::Result::kGoOn) return true;
  // The cache answers from its stored copy instead of the origin.
  if (cache_.serve_fd >= 0) return ServeStoredAnswer() == 0;
  return RelayEnded(result);
}

bool FmCsHttpService::RelayEnded(RelayPair::Result result) {
  CacheHook* hook = GetCacheHook();
  bool caching = service_code_ == kCodeWww && hook && cache_.state != kCachePassThrough;
  if (!caching || result == RelayPair::Result::kFailed) return false;
  if (relay_->ServerSideDelivered()) {
    hook->ResponseEnded(*this);
    return false;
  }
  if (relay_->ServerClosed() || server_socket_ == platform::kInvalidSocket) {
    hook->DiscardCacheFile(*this);  // some of the answer never reached the client
    return false;
  }
  // The client left first: whether the stored answer is whole shows in what the server does.
  watching_server_ = true;
  relay_->Stop();
  platform::AsyncSelect(server_socket_, window_, kMsgRelayEvent,
                        platform::kFdRead | platform::kFdClose);
  platform::SetTimer(window_, kServerWatchTimer, kServerWatchMs);
  return true;
}

bool FmCsHttpService::WatchedServerEvent(platform::Socket s, platform::Lparam lparam) {
  if (s != server_socket_) return true;
  CacheHook* hook = GetCacheHook();
  if (!hook) return false;
  bool orderly_close =
      platform::SelectEvent(lparam) == platform::kFdClose && platform::SelectError(lparam) == 0;
  // More bytes mean the stored answer would be cut; an orderly close means it is whole.
  if (orderly_close) {
    hook->ResponseEnded(*this);
  } else {
    hook->DiscardCacheFile(*this);
  }
  platform::KillTimer(window_, kServerWatchTimer);
  return false;
}

}  // namespace engine
