// Accept, registration and the live-session count.
#include "gateway/engine/session_thread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "gateway/engine/client_filter.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"

namespace engine {
namespace {

std::mutex g_live_lock;
std::condition_variable g_live_changed;
int g_live = 0;                               // guarded by g_live_lock
std::set<platform::ThreadId> g_live_threads;  // guarded by g_live_lock
bool g_stopping = false;                      // guarded by g_live_lock

}  // namespace

SessionThread::SessionThread(platform::Socket listening_socket, int idle_timeout, int service_code)
    : listening_socket_(listening_socket),
      idle_timeout_(idle_timeout),
      service_code_(service_code) {
  std::lock_guard lock(g_live_lock);
  ++g_live;
}

SessionThread::~SessionThread() {
  if (accepted_socket_ != platform::kInvalidSocket) platform::CloseSocket(accepted_socket_);
  Unregister();
  CloseSockets();
  account_.Close();
  if (window_ != 0) platform::DestroyTarget(window_);
  std::lock_guard lock(g_live_lock);
  g_live_threads.erase(thread_id());
  --g_live;
  g_live_changed.notify_all();
}

int SessionThread::LiveSessions() {
  std::lock_guard lock(g_live_lock);
  return g_live;
}

bool SessionThread::WaitForSessions(int timeout_ms) {
  std::unique_lock lock(g_live_lock);
  return g_live_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [] { return g_live == 0; });
}

void SessionThread::KillAll() {
  std::lock_guard lock(g_live_lock);
  g_stopping = true;
  for (platform::ThreadId id : g_live_threads) {
    platform::PostThreadMessage(id, kMsgKillSession, 0, 0);
  }
}

bool SessionThread::Stopping() {
  std::lock_guard lock(g_live_lock);
  return g_stopping;
}

void SessionThread::AllowSessions() {
  std::lock_guard lock(g_live_lock);
  g_stopping = false;
}

bool SessionThread::AcceptClient() {
  ClearOpeningKill();
  client_socket_ = accepted_socket_;
  accepted_socket_ = platform::kInvalidSocket;
  {
    std::lock_guard lock(g_live_lock);
    if (g_stopping) return false;
    g_live_threads.insert(thread_id());
  }
  window_ = platform::CreateTarget();
  if (client_socket_ == platform::kInvalidSocket) {
    client_socket_ = platform::Accept(listening_socket_);
  }
  if (client_socket_ == platform::kInvalidSocket) return false;
  // One look at the peer gives its address and whether it may be served: a client outside
  // AllowedClients is closed before a byte is sent to it.
  bool admitted = AdmitClientSocket(client_socket_, &client_address_);
  std::string service;
  Services().ServiceNameForSocket(listening_socket_, &service);
  if (!admitted) {
    platform::CloseSocket(client_socket_);
    client_socket_ = platform::kInvalidSocket;
    LogRefusedClient(client_address_, service);
    return false;
  }
  account_.Open(client_address_, service);
  platform::MeterSocket(client_socket_);
  return true;
}

int SessionThread::Register(int code) {
  if (registered_) return 0;
  std::string name;
  Services().ServiceNameForSocket(listening_socket_, &name);
  if (RegisterSessionNamed(client_address_, name, code, thread_id(), true, &account_.meter()) !=
      0) {
    return -1;
  }
  registered_ = true;
  registered_name_ = name;
  registered_code_ = code;
  return 0;
}

void SessionThread::Unregister() {
  if (!registered_) return;
  registered_ = false;
  RegisterSessionNamed(client_address_, registered_name_, registered_code_, thread_id(), false,
                       &account_.meter());
}

void SessionThread::ArmIdleTimer(uintptr_t id) {
  if (idle_timer_id_ != 0 || idle_timeout_ <= 0) return;
  if (platform::SetTimer(window_, id, static_cast<unsigned>(idle_timeout_) * 1000u)) {
    idle_timer_id_ = id;
  }
}

void SessionThread::KillIdleTimer() {
  if (idle_timer_id_ == 0) return;
  platform::KillTimer(window_, idle_timer_id_);
  idle_timer_id_ = 0;
}

void SessionThread::CloseSockets() {
  for (platform::Socket* s : {&client_socket_, &server_socket_}) {
    if (*s != platform::kInvalidSocket) {
      platform::CloseSocket(*s);  // also ends its event selection
      *s = platform::kInvalidSocket;
    }
  }
}

}  // namespace engine
