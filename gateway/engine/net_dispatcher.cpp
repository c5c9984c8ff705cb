// The dispatcher: listener events to new sessions.
#include "gateway/engine/net_dispatcher.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>

#include "gateway/engine/client_filter.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/listeners.h"
#include "gateway/engine/relay_openings.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_thread.h"
#include "platform/socket_errors.h"

namespace engine {
namespace {

std::map<unsigned, SessionFactory> g_factories;  // written before the thread starts
std::atomic<platform::TargetId> g_netmsg{0};
std::mutex g_ready_lock;
std::condition_variable g_ready;
std::mutex g_watch_lock;
std::map<platform::Socket, unsigned> g_watched;  // guarded by g_watch_lock

constexpr unsigned kMsgStopDispatcher = kWmUser + 210;

class NetMessageQueue : public platform::WorkerThread {
 protected:
  int Run() override {
    platform::TargetId window = platform::CreateTarget();
    SelectListeners(window);
    {
      std::lock_guard lock(g_ready_lock);
      g_netmsg.store(window);
    }
    g_ready.notify_all();
    platform::Message msg;
    while (platform::GetMessage(&msg)) {
      if (msg.target == 0 && msg.message == kMsgStopDispatcher) break;
      if (msg.target == window) DispatchNetMessage(window, msg.message, msg.wparam, msg.lparam);
    }
    g_netmsg.store(0);
    platform::DestroyTarget(window);
    return 0;
  }
};

NetMessageQueue* g_thread = nullptr;

// Listeners whose accept failed for want of descriptors or memory: each is re-selected after
// its pause, which doubles while the failures go on. Used by the NetMsg thread only.
struct Backoff {
  unsigned message = 0;
  unsigned pause_ms = 0;
};
std::map<platform::Socket, Backoff> g_backoff;
constexpr unsigned kFirstPauseMs = 50;
constexpr unsigned kLongestPauseMs = 1000;

bool OutOfResources(int error) {
  return error == platform::kWsaEMfile || error == platform::kWsaENoBufs;
}

// The dispatcher accepts the connection itself, so the listener is armed again at once and the
// next connection does not wait for this session's thread. kInvalidSocket when there is none.
platform::Socket AcceptFor(platform::TargetId window, unsigned message,
                           platform::Socket listening) {
  platform::Socket s = platform::Accept(listening);
  if (s != platform::kInvalidSocket) {
    g_backoff.erase(listening);
    return s;
  }
  if (OutOfResources(platform::LastSocketError())) {
    // No descriptor: the pending connection stays queued; the listener rests instead of
    // reporting it again at once, and is served again when descriptors come back.
    Backoff& b = g_backoff[listening];
    b.message = message;
    b.pause_ms = b.pause_ms == 0 ? kFirstPauseMs : std::min(b.pause_ms * 2, kLongestPauseMs);
    platform::AsyncSelect(listening, window, 0, 0);
    platform::SetTimer(window, static_cast<uintptr_t>(listening), b.pause_ms);
  }
  return platform::kInvalidSocket;
}

void ResumeListener(platform::TargetId window, platform::Socket listening) {
  platform::KillTimer(window, static_cast<uintptr_t>(listening));
  auto it = g_backoff.find(listening);
  if (it == g_backoff.end()) return;
  platform::AsyncSelect(listening, window, it->second.message, platform::kFdAccept);
}

void StartSession(platform::WorkerThread* session) {
  if (!session) return;
  session->set_auto_delete(true);
  if (!session->CreateThread()) delete session;  // its destructor closes the client
}

// Connections taken from one listener per FD_ACCEPT: under load the backlog is served in one
// go instead of one wake-up of this thread per connection; the bound keeps the other
// listeners' events moving.
constexpr int kAcceptBatch = 16;

// The sessions of a listener's pending connections, each made for a socket the dispatcher
// accepted.
void StartStreamSessions(platform::TargetId window, unsigned message, platform::Socket listening,
                         platform::WorkerThread* (*make)(unsigned, platform::Socket)) {
  for (int n = 0; n < kAcceptBatch; ++n) {
    platform::Socket client = AcceptFor(window, message, listening);
    if (client == platform::kInvalidSocket) return;
    platform::WorkerThread* session = make(message, listening);
    auto* owned = dynamic_cast<SessionThread*>(session);
    if (!owned) {
      delete session;
      platform::CloseSocket(client);  // nobody serves it
      continue;
    }
    owned->set_accepted_socket(client);
    StartSession(session);
  }
}

platform::WorkerThread* MakeRelay(platform::Socket listening, int code) {
  if (code != kCodeTcpMappedLink && !HasOpening(code)) return nullptr;
  return new (std::nothrow) FmCsHttpService(listening, Services().IdleTimeoutFor(listening), code);
}

platform::WorkerThread* MakeForMessage(unsigned message, platform::Socket listening);

platform::WorkerThread* MakeFromFactory(unsigned message, platform::Socket listening) {
  auto it = g_factories.find(message);
  if (it == g_factories.end()) return nullptr;
  return it->second(listening, Services().IdleTimeoutFor(listening));
}

platform::WorkerThread* MakeForMessage(unsigned message, platform::Socket listening) {
  switch (message) {
    case kMsgWwwAccept:
      return MakeRelay(listening, kCodeWww);
    case kMsgPop3Accept:
      return MakeRelay(listening, kCodePop3);
    case kMsgSocksAccept:
      return MakeRelay(listening, kCodeSocks);
    case kMsgMappedAccept:
      return MakeRelay(listening, kCodeTcpMappedLink);
    default:
      return MakeFromFactory(message, listening);
  }
}

// The accept message of a relay session's listener, checked against the list (a listener
// closed by a console change is not accepted from); 0 when it is not one.
unsigned RelayAcceptMessage(int session_code, platform::Socket listening) {
  int listener_code = Services().ServiceCodeForSocket(listening);
  switch (session_code) {
    case kCodeWww:
      return listener_code == kCodeWww ? kMsgWwwAccept : 0;
    case kCodePop3:
      return listener_code == kCodePop3 ? kMsgPop3Accept : 0;
    case kCodeSocks:
      return listener_code == kCodeSocks ? kMsgSocksAccept : 0;
    case kCodeTcpMappedLink:
      return listener_code == kCodeTcpMappedLink || listener_code == kCodeSmtp ||
                     listener_code == kCodeNews || listener_code == kCodeIrc
                 ? kMsgMappedAccept
                 : 0;
    default:
      return 0;
  }
}

void HandleClientClosed(platform::Socket s) {
  std::lock_guard lock(g_watch_lock);
  // Only a socket its session still holds is touched; the session closes it.
  if (g_watched.count(s) != 0) shutdown(s, SHUT_RDWR);
}

}  // namespace

void RegisterSessionFactory(unsigned message, SessionFactory factory) {
  g_factories[message] = std::move(factory);
}

void ClearSessionFactories() { g_factories.clear(); }

platform::TargetId NetMsgTarget() { return g_netmsg.load(); }

void FollowWithWaitingClient(int service_code, platform::Socket listening) {
  // Once the dispatcher has stopped, or shut-down began, nobody is accepted any more.
  if (g_netmsg.load() == 0 || SessionThread::Stopping()) return;
  unsigned message = RelayAcceptMessage(service_code, listening);
  if (message == 0) return;
  // The listener is non-blocking: nothing waiting (or no descriptor, which the dispatcher's
  // rest handles) is simply no follower.
  platform::Socket client = platform::Accept(listening);
  if (client == platform::kInvalidSocket) return;
  auto* session = dynamic_cast<SessionThread*>(MakeForMessage(message, listening));
  if (!session) {
    platform::CloseSocket(client);
    return;
  }
  session->set_accepted_socket(client);
  session->set_auto_delete(true);
  if (!session->CreateThreadAfterThisOne()) delete session;  // its destructor closes the client
}

int DispatchNetMessage(platform::TargetId window, unsigned message, platform::Wparam wparam,
                       platform::Lparam) {
  auto s = static_cast<platform::Socket>(wparam);
  if ((message == kMsgUdpMappedRead || message == kMsgDnsDatagram) && DropOutsiderDatagram(s)) {
    return 1;
  }
  switch (message) {
    case kMsgWwwAccept:
    case kMsgPop3Accept:
    case kMsgSocksAccept:
    case kMsgMappedAccept:
    case kMsgFtpAccept:
    case kMsgTelnetAccept:
    case kMsgRealAudioAccept:
      StartStreamSessions(window, message, s, &MakeForMessage);
      break;
    case platform::kWmTimer:
      ResumeListener(window, s);
      break;
    case kMsgUdpMappedRead: {
      // One exchange per mapping at a time: the session hands the socket back when it ends.
      platform::AsyncSelect(s, window, 0, 0);
      platform::WorkerThread* session = MakeFromFactory(message, s);
      if (!session) {
        char drop[1];
        [[maybe_unused]] int n = platform::RecvFrom(s, drop, sizeof drop, nullptr);
        platform::AsyncSelect(s, window, kMsgUdpMappedRead, platform::kFdRead);
      }
      StartSession(session);
      break;
    }
    case kMsgDnsDatagram: {
      // The DNS factory reads the datagram itself (it may answer it at once); with none, the
      // datagram is dropped here so that the next one is reported.
      if (g_factories.count(message) == 0) {
        char drop[1];
        [[maybe_unused]] int n = platform::RecvFrom(s, drop, sizeof drop, nullptr);
      }
      StartSession(MakeFromFactory(message, s));
      break;
    }
    case kMsgWwwClientClosed:
    case kMsgPop3ClientClosed:
      HandleClientClosed(s);
      break;
    default:
      break;
  }
  return 1;
}

int WatchClientClose(platform::Socket client, unsigned message) {
  {
    std::lock_guard lock(g_watch_lock);
    g_watched[client] = message;
  }
  return platform::AsyncSelect(client, NetMsgTarget(), message, platform::kFdClose);
}

void UnwatchClientClose(platform::Socket client) {
  std::lock_guard lock(g_watch_lock);
  g_watched.erase(client);
}

bool StartNetMessageQueue() {
  g_thread = new NetMessageQueue;
  g_thread->set_auto_delete(false);
  if (!g_thread->CreateThread(512 * 1024)) {
    delete g_thread;
    g_thread = nullptr;
    return false;
  }
  // Callers select sockets for NetMsg right after this returns: wait until it exists.
  std::unique_lock lock(g_ready_lock);
  return g_ready.wait_for(lock, std::chrono::seconds(10), [] { return g_netmsg.load() != 0; });
}

void StopNetMessageQueue() {
  if (!g_thread) return;
  platform::PostThreadMessage(g_thread->thread_id(), kMsgStopDispatcher, 0, 0);
  g_thread->Join();
  delete g_thread;
  g_thread = nullptr;
}

}  // namespace engine
